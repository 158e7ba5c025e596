# A journal that names the daemon's executable but no pid, as a helper killed right after the
# spawn leaves it, when that daemon has ended since: no process runs the executable, so the
# restarted helper does not wait for its name or socket; it undoes the rest and answers at once.
# The teardown of the replay removes the name file the ended daemon left.
# fault: helper killed before the daemon's pid was on record, the daemon ended since
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_IFACE=utun
before=$(tb_services_summary)
journal="/Library/Application Support/ZorvikVPN/tunnel-journal.json"

tb_step "start a tunnel, kill -9 the helper, end the daemon"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
daemon=$(sed -n 's/.*amneziawg-go pid=\([0-9]*\)$/\1/p' "$TB_HELPER_LOG" | tail -n 1)
[[ $daemon =~ ^[0-9]+$ ]] || tb_fail "no daemon pid in the helper log"
kill -KILL "$TB_HELPER_PID"
wait "$TB_HELPER_PID" 2>/dev/null || true
kill -TERM "$daemon"
daemon_gone() { ! kill -0 "$daemon" 2>/dev/null; }
tb_wait_for 5 daemon_gone || tb_fail "the daemon $daemon did not end"
python3 -c '
import json, sys
with open(sys.argv[1], "r+") as f:
    journal = json.load(f)
    journal["daemon"]["pid"] = None
    journal["iface"] = None
    f.seek(0)
    f.truncate()
    json.dump(journal, f)
' "$journal"
tb_expect_contains "$(<"$journal")" '"pid": null' "journal"
[ -e /var/run/amneziawg/zorvik.name ] || tb_fail "the ended daemon left no name file"
tb_expect_eq "$(pgrep -c -f "$TB_HELPERS/amneziawg-go" || true)" 0 "daemons running"

tb_step "start the helper again: it answers at once, with the rest undone"
rm -f "$TB_HELPER_SOCKET"
restarted=$EPOCHREALTIME
tb_start_helper FAKE_AWG_IFACE=utun
tb_wait_until_served
served=$(tb_seconds_since "$restarted")
tb_figure "restored and served after (s)" "$served"
# The launch's own waits (the name, then the socket) are seconds; a replay that skips them is
# served within 3 s even on a loaded machine.
awk -v s="$served" 'BEGIN { exit !(s < 3) }' || tb_fail "served only after $served s"
tb_checked
tb_expect_lacks "$(tb_helper_log)" "найден по сокету" "helper log"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_lacks "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "host route"
[ ! -e "$journal" ] || tb_fail "the journal is still there after the replay"
[ ! -e /var/run/amneziawg/zorvik.name ] || tb_fail "the name file is still there after the replay"
tb_checked

tb_step "then it serves as before"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_eq "$(tb_services_summary)" "$before" "network services after the stop"
