# The daemon killed outright while the tunnel is up: its exit is logged once, and the helper
# brings the tunnel down by itself (DNS, IPv6 and the host route as before); status says down
# and a later stop has nothing left to undo.
# fault: daemon SIGKILLed while up
tb_network_up
tb_start_helper
before=$(tb_services_summary)

tb_step "zorvikctl start"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"

tb_step "SIGKILL to the daemon by its pid"
daemon=$(sed -n 's/.*amneziawg-go pid=\([0-9]*\)$/\1/p' "$TB_HELPER_LOG")
[[ $daemon =~ ^[0-9]+$ ]] || tb_fail "no daemon pid in the helper log"
# The stand-in runs wireguard-go as its child; a crashed daemon takes its interface with it, so
# the child is killed too, after the process the helper watches.
children=$(cat /proc/"$daemon"/task/*/children)
killed=$EPOCHREALTIME
kill -KILL "$daemon"
for child in $children; do kill -KILL "$child" 2>/dev/null || true; done
tb_wait_for 5 grep -q "amneziawg-go завершился" "$TB_HELPER_LOG" || tb_fail "the daemon's exit was not logged"
tb_figure "exit logged after (s)" "$(tb_seconds_since "$killed")"
tb_expect_eq "$(grep -c "amneziawg-go завершился:" "$TB_HELPER_LOG")" 1 "exit records"
tb_expect_contains "$(tb_helper_log)" "amneziawg-go завершился: код=9 reason=2" "exit record"

tb_step "the helper brings the tunnel down by itself"
# Status is answered from the same queue, after the teardown the daemon's exit queued.
status_down() { [[ $(tb_ctl status --json) == *'"active":false'* ]]; }
tb_wait_for 5 status_down || tb_fail "the tunnel was not brought down"
tb_expect_contains "$(tb_helper_log)" "amneziawg-go завершился при поднятом туннеле, туннель опускается" \
  "the helper's own record"
tb_figure "host restored after (s)" "$(tb_seconds_since "$killed")"
tb_expect_torn_down "$before"

tb_step "a stop finds nothing left to undo"
calls=$(wc -l <"$TB/journal")
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_eq "$(wc -l <"$TB/journal")" "$calls" "tool calls of the stop"
tb_expect_eq "$(grep -c "amneziawg-go завершился:" "$TB_HELPER_LOG")" 1 "exit records after stop"
tb_figure "exit records" "$(grep -c "amneziawg-go завершился:" "$TB_HELPER_LOG")"
kill -0 "$TB_HELPER_PID" || tb_fail "the helper died"
