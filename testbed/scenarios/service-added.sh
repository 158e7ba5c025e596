# A network service appears while the tunnel is up (a USB Ethernet plugged in, with DNS servers
# of its own and automatic IPv6): it gets the tunnel's DNS and IPv6 off like the others, the
# services already handled are not touched again, and stop gives it its own settings back.
tb_network_up
tb_second_link_add
tb_start_helper
before=$(tb_services_summary)

tb_step "zorvikctl start"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"

tb_step "Thunderbolt Ethernet plugged in"
tb_journal_reset
(
  flock 9
  printf '%s\t%s\t%s\t%s\n' 1 "Thunderbolt Ethernet" Automatic "203.0.113.53" >>"$TB/services"
) 9>>"$TB/services.lock"
ip link set en1 up
handled() { grep -qF '["/usr/sbin/networksetup","-setv6off","Thunderbolt Ethernet"]' "$TB/journal"; }
tb_wait_for 5 handled || tb_fail "the new service's IPv6 was not turned off"
journal=$(tb_journal)
tb_expect_eq "$(grep -F '"-set' <<<"$journal")" \
  "[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"Thunderbolt Ethernet\",\"$TB_SERVER_TUNNEL_ADDRESS\"]
[\"/usr/sbin/networksetup\",\"-setv6off\",\"Thunderbolt Ethernet\"]" "changes for the new service"
tb_expect_lacks "$journal" '"/sbin/route","-q"' "tool journal (the gateway stayed)"
tb_expect_contains "$(tb_services_summary)" "Thunderbolt Ethernet | $TB_SERVER_TUNNEL_ADDRESS | Off" "the new service while up"
tb_expect_contains "$(tb_services_summary)" "Wi-Fi | $TB_SERVER_TUNNEL_ADDRESS | Off" "Wi-Fi while up"

tb_step "zorvikctl stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"$'\n'"Thunderbolt Ethernet | 203.0.113.53 | Automatic"
