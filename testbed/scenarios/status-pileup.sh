# The daemon stopped (SIGSTOP) while up, so that it answers nothing: six status requests sent
# 0.2 s apart share one exchange with it instead of waiting 5 s each in turn, and a stop sent
# after them is answered within one UAPI deadline (5 s) plus a second.
# fault: status requests to a daemon that does not answer
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_IFACE=utun
before=$(tb_services_summary)

tb_step "zorvikctl start"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
daemon=$(sed -n 's/.*amneziawg-go pid=\([0-9]*\)$/\1/p' "$TB_HELPER_LOG" | tail -n 1)
[[ $daemon =~ ^[0-9]+$ ]] || tb_fail "no daemon pid in the helper log"

tb_step "SIGSTOP to the daemon, six status requests 0.2 s apart, then a stop"
is_stopped() { [ "$(sed -E 's/^.*\) (.).*$/\1/' "/proc/$1/stat")" = T ]; }
kill -STOP "$daemon"
tb_wait_for 5 is_stopped "$daemon" || tb_fail "the daemon did not stop"
statuses=()
for ((i = 1; i <= 6; i++)); do
  (
    asked=$EPOCHREALTIME
    tb_ctl status --json >"$TB/status.$i" 2>&1
    tb_seconds_since "$asked" >"$TB/status.$i.after"
  ) &
  statuses+=($!)
  sleep 0.2
done
asked=$EPOCHREALTIME
stopped=$(tb_ctl stop)
stop_after=$(tb_seconds_since "$asked")
wait "${statuses[@]}"
tb_figure "stop answered after (s)" "$stop_after"
tb_figure "slowest status answered after (s)" "$(sort -n "$TB"/status.*.after | tail -n 1)"

tb_expect_eq "$stopped" "tunnel stopped" "zorvikctl stop"
tb_expect_eq "$(awk -v s="$stop_after" 'BEGIN { print (s <= 6) }')" 1 \
  "stop answered within 6 s (took $stop_after s)"
for ((i = 1; i <= 6; i++)); do
  tb_expect_contains "$(<"$TB/status.$i")" '"active":true' "status $i, asked while up"
done

tb_step "the stop undid the tunnel; the daemon is ended"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_lacks "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "host route"
tb_expect_eq "$(tb_status_field active)" false "status after the stop"
tb_daemon_gone() { [ ! -e "/proc/$daemon" ]; }
tb_wait_for 10 tb_daemon_gone || tb_fail "the stopped daemon outlived the stop"
