# A second start while a tunnel is up replaces it: the first is torn down (host route, DNS, IPv6,
# daemon) before the second comes up, and a final stop restores the original settings, not the
# first tunnel's.
tb_network_up
tb_start_helper
before=$(tb_services_summary)

tb_step "first start"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "first start"
first_pid=$(sed -n 's/.*amneziawg-go pid=\([0-9]*\).*/\1/p' "$TB_HELPER_LOG")
tb_journal_reset

tb_step "second start while the first tunnel is up"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "second start"
pids=$(sed -n 's/.*amneziawg-go pid=\([0-9]*\).*/\1/p' "$TB_HELPER_LOG")
tb_expect_eq "$(wc -l <<<"$pids")" 2 "daemons launched"
second_pid=$(tail -n 1 <<<"$pids")
[ "$first_pid" != "$second_pid" ] || tb_fail "the second start reused the first daemon"
tb_wait_for 5 grep -q "amneziawg-go завершился" "$TB_HELPER_LOG" || tb_fail "the first daemon did not exit"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_ping_server 2

# The first tunnel's teardown comes first, before the second bring-up's gateway lookup.
journal=$(tb_journal)
tb_expect_eq "$(head -n 9 <<<"$journal")" "[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet\",\"$TB_SERVER_ADDRESS/32\",\"$TB_SERVER_ADDRESS\"]
[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet6\",\"::/1\",\"::1\"]
[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet6\",\"8000::/1\",\"::1\"]
[\"/usr/sbin/networksetup\",\"-listnetworkserviceorder\"]
[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"Thunderbolt Bridge\",\"Empty\"]
[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"USB 10/100/1000 LAN\",\"192.0.2.53\",\"198.51.100.53\"]
[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"Wi-Fi\",\"Empty\"]
[\"/usr/sbin/networksetup\",\"-setv6automatic\",\"Wi-Fi\"]
[\"/sbin/route\",\"-n\",\"get\",\"default\"]" "journal of the replacing start"

tb_step "stop restores the settings from before the first tunnel"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
