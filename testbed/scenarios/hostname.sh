# An endpoint given as a host name: the helper resolves it (here through the simulated Mac's
# hosts file) and routes the resolved address.
tb_network_up
tb_start_helper
before=$(tb_services_summary)
tb_client_config endpoint="vpn.testbed.test:$TB_SERVER_PORT" >"$TB/hostname.conf"

tb_step "start with Endpoint = vpn.testbed.test:$TB_SERVER_PORT"
tb_expect_eq "$(tb_ctl start "$TB/hostname.conf")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_ping_server 2
tb_expect_contains "$(tb_helper_log_messages)" "туннель поднят на utun → $TB_SERVER_ADDRESS" "helper log"
tb_expect_contains "$(tb_journal)" \
  "[\"/sbin/route\",\"-q\",\"-n\",\"add\",\"-inet\",\"$TB_SERVER_ADDRESS/32\",\"$TB_SERVER_ADDRESS\"]" "journal"

tb_step "stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
