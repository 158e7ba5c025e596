# The demo: a tunnel from the simulated Mac to the VPN server and back down, every step shown
# and checked.
tb_step "simulated Mac: en0 10.200.0.1/30, default route via $TB_SERVER_ADDRESS; VPN server: wireguard-go on $TB_SERVER_ADDRESS:$TB_SERVER_PORT, tunnel address $TB_SERVER_TUNNEL_ADDRESS"
tb_network_up
tb_note "$(ip -4 route show)"

tb_step "zorvik-helper starts (as launchd would start it) in $TB_HELPERS"
tb_start_helper
tb_note "version: $(tb_ctl version)"

tb_step "network services before: name | DNS | IPv6"
before=$(tb_services_summary)
tb_note "$before"

tb_step "zorvikctl start $TB_CLIENT_CONFIG"
tb_note "$(sed -E 's/^(PrivateKey = ).*/\1(hidden)/' "$TB_CLIENT_CONFIG" | grep -v '^$')"
tb_note "$(tb_ctl start "$TB_CLIENT_CONFIG")"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_note "$(/sbin/ifconfig utun)"
tb_note "$(ip -4 route show)"

tb_step "ping $TB_SERVER_TUNNEL_ADDRESS through the tunnel"
ping -c 3 -i 0.3 -W 2 "$TB_SERVER_TUNNEL_ADDRESS" >"$TB/ping.out" || {
  cat "$TB/ping.out"
  tb_fail "no answer through the tunnel"
}
tb_note "$(grep -E 'bytes from|packets transmitted' "$TB/ping.out")"

tb_step "zorvikctl status (the daemon's own byte counters)"
status=$(tb_ctl status)
tb_note "$status"
rx=$(tb_status_field rx) tx=$(tb_status_field tx)
((rx > 0 && tx > 0)) || tb_fail "status shows no traffic"
tb_note "the server counted: $(tb_server_transfer | awk '{print $1 " bytes received, " $2 " bytes sent"}')"

tb_step "network services while up: name | DNS | IPv6"
during=$(tb_services_summary)
tb_note "$during"
tb_expect_eq "$during" "Wi-Fi | $TB_SERVER_TUNNEL_ADDRESS | Off
USB 10/100/1000 LAN | $TB_SERVER_TUNNEL_ADDRESS | Manual
Bluetooth PAN | none | Automatic
Thunderbolt Bridge | $TB_SERVER_TUNNEL_ADDRESS | Off" "services while up"

tb_step "zorvikctl stop"
tb_note "$(tb_ctl stop)"
tb_expect_torn_down "$before"
tb_note "$(tb_ctl status)"

tb_step "network services after: name | DNS | IPv6"
after=$(tb_services_summary)
tb_note "$after"

tb_step "the helper log, $TB_HELPER_LOG"
tb_wait_for 5 grep -q "завершился" "$TB_HELPER_LOG" || tb_fail "the daemon's exit was not logged"
tb_note "$(tb_helper_log)"

tb_step "what the helper ran: $(wc -l <"$TB/journal") tool calls, e.g."
tb_note "$(grep -E '"(add|delete)"|-setv6' "$TB/journal")"

tb_step "summary"
tb_note "tunnel up on utun → $TB_SERVER_ADDRESS; $(grep -o '[0-9]* received' "$TB/ping.out" | cut -d' ' -f1) of 3 pings answered through it" \
  "status counted $rx bytes received and $tx bytes sent" \
  "DNS and IPv6 of every service restored after stop; host route removed; daemon ended"
