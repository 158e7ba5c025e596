# User nobody runs the genuine zorvikctl with a library that opens 64 connections and sends
# nothing on them. The helper serves only nobody's share of them and closes those that sent no
# request by the first-request deadline; root's and another user's genuine client are served
# meanwhile, and nobody's own is served again once its silent connections are gone.
# fault: one user holds silent connections
tb_start_helper

tb_step "nobody holds 64 silent connections"
tb_abuse "$TB_NOBODY" "$TB_HELPERS/zorvikctl" "hold 64 6" >"$TB/hold.out" &
holder=$!
tb_wait_for 5 grep -q '^connected' "$TB/hold.out" || tb_fail "the holder did not connect"
tb_wait_for 3 grep -q '^after 1 ' "$TB/hold.out" || tb_fail "the holder reported nothing"

tb_step "root's and user 4242's genuine clients meanwhile"
root_status=0
asked=$EPOCHREALTIME
tb_ctl status --json >"$TB/root.out" 2>"$TB/root.err" || root_status=$?
tb_figure "root's status while held: exit status" "$root_status"
tb_figure "root's status while held: answered after (s)" "$(tb_seconds_since "$asked")"
other_status=0
tb_as 4242 "$TB_HELPERS/zorvikctl" version >"$TB/other.out" 2>"$TB/other.err" || other_status=$?
tb_figure "user 4242's version while held: exit status" "$other_status"

tb_step "the holder's connections at 1 s and at 6 s"
wait "$holder"
held=$(sed -n 's/^after 1 open //p' "$TB/hold.out")
left=$(sed -n 's/^after 6 open //p' "$TB/hold.out")
tb_figure "nobody's connections open after 1 s (of 64)" "$held"
tb_figure "nobody's connections open after 6 s (of 64)" "$left"

tb_expect_eq "$root_status" 0 "root's status while held (stderr: $(<"$TB/root.err"))"
tb_expect_contains "$(<"$TB/root.out")" '"active":false' "root's status while held"
tb_expect_eq "$other_status" 0 "user 4242's version while held (stderr: $(<"$TB/other.err"))"
tb_expect_eq "$((held < 64))" 1 "connections of one user served at once ($held)"
tb_expect_eq "$left" 0 "silent connections left after 6 s"
tb_expect_eq "$(tb_as "$TB_NOBODY" "$TB_HELPERS/zorvikctl" version)" 1 "nobody's own version afterwards"
kill -0 "$TB_HELPER_PID" || tb_fail "the helper died"
