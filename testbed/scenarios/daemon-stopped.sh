# The daemon stopped and then continued while the tunnel is up, as job control or a debugger
# does: it still counts as running and nothing is logged; stop terminates it, and its exit is
# logged once, at its real exit.
# fault: daemon stopped and continued while up
tb_network_up
tb_start_helper
before=$(tb_services_summary)

tb_step "zorvikctl start"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"

# The state letter of /proc/PID/stat: T while stopped.
process_state() { sed -E 's/^.*\) (.).*$/\1/' "/proc/$1/stat"; }
is_stopped() { [ "$(process_state "$1")" = T ]; }
is_not_stopped() { [ "$(process_state "$1")" != T ]; }

tb_step "SIGSTOP, then SIGCONT, to the daemon by its pid"
daemon=$(sed -n 's/.*amneziawg-go pid=\([0-9]*\)$/\1/p' "$TB_HELPER_LOG")
[[ $daemon =~ ^[0-9]+$ ]] || tb_fail "no daemon pid in the helper log"
kill -STOP "$daemon"
tb_wait_for 5 is_stopped "$daemon" || tb_fail "the daemon did not stop"
kill -CONT "$daemon"
tb_wait_for 5 is_not_stopped "$daemon" || tb_fail "the daemon did not continue"

tb_step "the daemon still counts as running"
tb_expect_eq "$(tb_status_field active)" true "status after the stop and the continue"
tb_ping_server
tb_expect_lacks "$(tb_helper_log)" "amneziawg-go завершился" "helper log while it runs"

tb_step "zorvikctl stop terminates it; its exit is logged once"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
tb_wait_for 5 grep -q "amneziawg-go завершился" "$TB_HELPER_LOG" || tb_fail "the daemon's exit was not logged"
tb_expect_eq "$(grep -c "amneziawg-go завершился" "$TB_HELPER_LOG")" 1 "exit records"
tb_expect_contains "$(tb_helper_log)" "amneziawg-go завершился: код=0 reason=1" "exit record"
tb_figure "exit records" "$(grep -c "amneziawg-go завершился" "$TB_HELPER_LOG")"
[ ! -e "/proc/$daemon" ] || tb_fail "the daemon outlived the stop"
