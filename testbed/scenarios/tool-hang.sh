# A networksetup call that hangs: at the 15 s limit the helper kills it with its process group; a
# service whose servers could not be read may still ask its own resolver, so the start fails on
# it ("DNS не установлен: Wi-Fi") and is undone, every request sent meanwhile is answered, and no
# tool process stays behind.
# fault: networksetup hangs
tb_network_up
tb_start_helper
before=$(tb_services_summary)
hang='["/usr/sbin/networksetup","-getdnsservers","Wi-Fi"]'

tb_step "a plain start and stop, to compare with"
started=$EPOCHREALTIME
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
plain=$(tb_seconds_since "$started")
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_wait_for 5 tb_no_utun || tb_fail "utun still exists"

tb_step "a start whose Wi-Fi DNS read hangs; status and stop sent while it hangs"
tb_journal_reset
printf '%s\n' "$hang" >"$TB/hang-once"
started=$EPOCHREALTIME
tb_ctl start "$TB_CLIENT_CONFIG" >"$TB/start.out" 2>&1 &
start=$!
tb_wait_for 10 test -s "$TB/hung" || tb_fail "the planned hang was never reached"
read -r tool child <"$TB/hung"
tb_ctl status --json >"$TB/status.out" 2>&1 &
status=$!
tb_ctl stop >"$TB/stop.out" 2>&1 &
stop=$!
if wait "$start"; then tb_fail "zorvikctl start succeeded: $(<"$TB/start.out")"; fi
tb_checked
hung=$(tb_seconds_since "$started")
tb_figure "start with a hung tool (s)" "$hung"
tb_figure "plain start (s)" "$plain"
tb_expect_contains "$(<"$TB/start.out")" "start failed: DNS не установлен: Wi-Fi" "zorvikctl start"
wait "$status" || tb_fail "zorvikctl status failed: $(<"$TB/status.out")"
tb_expect_contains "$(<"$TB/status.out")" '"active":' "status reply"
wait "$stop" || tb_fail "zorvikctl stop failed: $(<"$TB/stop.out")"
tb_expect_contains "$(<"$TB/stop.out")" "tunnel stopped" "zorvikctl stop"
delay=$(awk -v a="$hung" -v b="$plain" 'BEGIN { printf "%.2f", a - b }')
tb_figure "delay by the hung tool (s)" "$delay"
tb_expect_eq "$(grep -c "инструмент не завершился вовремя и остановлен: /usr/sbin/networksetup -getdnsservers Wi-Fi" "$TB_HELPER_LOG")" \
  1 "records of the tool stopped at its limit"

tb_step "the hung tool and its child are gone; no service was changed"
for pid in "$tool" "$child"; do
  tb_wait_for 2 test ! -e "/proc/$pid" || tb_fail "process $pid of the hung call is still there: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
  tb_checked
done
tb_expect_eq "$(pgrep -af '^/bin/bash (/usr/sbin/networksetup|/sbin/route|/sbin/ifconfig)( |$)' || true)" "" "tool processes"
tb_figure "tool processes left" "$(pgrep -cf '^/bin/bash (/usr/sbin/networksetup|/sbin/route|/sbin/ifconfig)( |$)' || true)"
journal=$(tb_journal)
tb_expect_eq "$(grep -cxF "$hang" <<<"$journal")" 1 "hung calls"
tb_expect_lacks "$journal" '"-setdnsservers","Wi-Fi"' "journal (Wi-Fi's servers were never read)"
tb_expect_lacks "$journal" '"-setdnsservers","USB 10/100/1000 LAN","' "journal (no service after it)"
tb_expect_torn_down "$before"
