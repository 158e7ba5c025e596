# A helper killed (kill -9) with a tunnel up leaves its tunnel journal behind. Started again, it
# puts back DNS and IPv6, deletes the host route and ends the old daemon from that journal before
# it serves any client. The fake daemon is used: the real one's wrapper is a script, whose
# process runs the shell, so the helper would rightly not take it for the daemon it started.
# fault: helper SIGKILLed with a tunnel up
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_IFACE=utun
before=$(tb_services_summary)
journal="/Library/Application Support/ZorvikVPN/tunnel-journal.json"

tb_step "start a tunnel: the journal records it, and holds no key"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
during=$(tb_services_summary)
[ "$during" != "$before" ] || tb_fail "the start changed no network service"
tb_expect_contains "$(ip -4 route show)" "$TB_SERVER_ADDRESS via $TB_SERVER_ADDRESS dev en0" "host route while up"
tb_expect_eq "$(stat -c '%a %U' "$journal")" "600 root" "journal mode and owner"
tb_expect_eq "$(stat -c '%a %U' "${journal%/*}")" "755 root" "journal directory mode and owner"
tb_expect_lacks "$(<"$journal")" "$TB_CLIENT_PRIVATE" "journal"
tb_expect_lacks "$(<"$journal")" "$TB_CLIENT_TUNNEL_ADDRESS" "journal"
daemon=$(sed -n 's/.*amneziawg-go pid=\([0-9]*\)$/\1/p' "$TB_HELPER_LOG" | tail -n 1)
[ -n "$daemon" ] || tb_fail "no daemon pid in the helper log"
tb_note "daemon pid $daemon"

tb_step "kill -9 the helper: every change stays behind, the daemon runs on"
kill -KILL "$TB_HELPER_PID"
wait "$TB_HELPER_PID" 2>/dev/null || true
tb_expect_eq "$(tb_services_summary)" "$during" "network services after the kill"
tb_expect_contains "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "host route after the kill"
tb_expect_eq "$(readlink "/proc/$daemon/exe")" "$TB_HELPERS/amneziawg-go" "the old daemon"
[ -e "$journal" ] || tb_fail "no journal after the kill"

tb_step "start the helper again: restored before its socket opens"
# The dead helper's socket file would make tb_start_helper return at once; without it, the wait
# ends only when the new helper listens, which is after the replay.
rm -f "$TB_HELPER_SOCKET"
tb_journal_reset
restarted=$EPOCHREALTIME
tb_start_helper FAKE_AWG_IFACE=utun
tb_wait_until_served
tb_figure "restored and served after (s)" "$(tb_seconds_since "$restarted")"
tb_expect_eq "$(tb_services_summary)" "$before" "network services before any request"
tb_expect_lacks "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "routes before any request"
[ ! -e "$journal" ] || tb_fail "the journal is still there after the replay"
tb_old_daemon_gone() { ! readlink "/proc/$daemon/exe" >/dev/null 2>&1; }
tb_wait_for 5 tb_old_daemon_gone || tb_fail "the old daemon $daemon still runs"
lan="USB 10/100/1000 LAN"
tb_expect_eq "$(tb_journal)" "[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet\",\"$TB_SERVER_ADDRESS/32\",\"$TB_SERVER_ADDRESS\"]
[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet6\",\"::/1\",\"::1\"]
[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet6\",\"8000::/1\",\"::1\"]
[\"/usr/sbin/networksetup\",\"-listnetworkserviceorder\"]
[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"Thunderbolt Bridge\",\"Empty\"]
[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"$lan\",\"192.0.2.53\",\"198.51.100.53\"]
[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"Wi-Fi\",\"Empty\"]
[\"/usr/sbin/networksetup\",\"-setv6automatic\",\"Wi-Fi\"]" "tool journal of the replay"
tb_expect_contains "$(tb_helper_log)" "конфигурация восстановлена по журналу, сервисов: 3" "helper log"
tb_figure "tool calls of the replay" "$(wc -l <"$TB/journal")"

tb_step "then it serves as before"
tb_expect_eq "$(tb_status_field active)" false "status after the replay"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_eq "$(tb_services_summary)" "$before" "network services after the stop"
[ ! -e "$journal" ] || tb_fail "the journal outlived the stop"
