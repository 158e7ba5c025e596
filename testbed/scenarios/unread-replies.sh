# User nobody runs the genuine zorvikctl with a library that opens 4 connections, sends 20,000
# status requests on each and reads no reply, while a tunnel is up. Replies go out from each
# connection's own thread, so neither the service's queue nor its status worker waits for them:
# root's status and stop are answered within 3 s, and the helper drops the 4 connections.
# fault: clients that never read their replies
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_IFACE=utun
before=$(tb_services_summary)
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"

tb_step "nobody sends 4 x 20,000 status requests and reads nothing"
tb_abuse "$TB_NOBODY" "$TB_HELPERS/zorvikctl" "flood 4 20000 40 status" >"$TB/flood.out" &
flooder=$!
sleep 1

tb_step "root's status, and 0.1 s later root's stop, meanwhile"
timed() { # NAME COMMAND...: COMMAND's output to $TB/NAME.out, its time to $TB/NAME.after
  local name=$1 asked=$EPOCHREALTIME
  shift
  "$@" >"$TB/$name.out" 2>&1 || true
  tb_seconds_since "$asked" >"$TB/$name.after"
}
timed status tb_ctl status --json &
asker=$!
sleep 0.1
timed stop tb_ctl stop
wait "$asker"
status_after=$(<"$TB/status.after")
stop_after=$(<"$TB/stop.after")
tb_figure "root's status answered after (s)" "$status_after"
tb_figure "root's stop answered after (s)" "$stop_after"

tb_step "the helper drops the connections that read nothing"
asked=$EPOCHREALTIME
wait "$flooder"
tb_figure "the flood went on after the stop for (s)" "$(tb_seconds_since "$asked")"
tb_figure "flooding connections the helper closed (of 4)" "$(sed -n 's/^closed \([0-9]*\) .*/\1/p' "$TB/flood.out")"

tb_expect_contains "$(<"$TB/status.out")" '"active":true' "root's status during the flood"
tb_expect_eq "$(<"$TB/stop.out")" "tunnel stopped" "root's stop during the flood"
tb_expect_eq "$(awk -v s="$status_after" 'BEGIN { print (s <= 3) }')" 1 \
  "status answered within 3 s (took $status_after s)"
tb_expect_eq "$(awk -v s="$stop_after" 'BEGIN { print (s <= 3) }')" 1 \
  "stop answered within 3 s (took $stop_after s)"
tb_expect_contains "$(<"$TB/flood.out")" "closed 4 " "connections the helper closed"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_eq "$(tb_status_field active)" false "status after the flood"
