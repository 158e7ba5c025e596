# The tunnel belongs to the helper, not to a connection: a client that starts it and disconnects
# leaves it up, and a new client sees it, its traffic, and can stop it.
tb_network_up
tb_start_helper
before=$(tb_services_summary)

tb_step "one client starts the tunnel and disconnects"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_wait_for 5 grep -q "XPC-соединение закрыто" "$TB/helper.out" || tb_fail "the closed connection was not logged"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"

tb_step "a new client sees the tunnel up and its traffic"
tb_ping_server 2
tb_expect_eq "$(tb_status_field active)" true "status from a new connection"
rx=$(tb_status_field rx)
((rx > 0)) || tb_fail "a new client sees no received bytes"
tb_expect_eq "$(tb_ctl version)" 1 "version"

tb_step "a third client stops it"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
