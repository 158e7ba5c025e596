# A helper killed between the daemon's spawn and the record of its pid leaves a journal that
# names the daemon's executable but no pid or interface. Started again, it finds that daemon
# through the socket of the interface the daemon named, ends it, and undoes the rest, before it
# serves any client. The fake daemon is used: the real one's wrapper is a script, so the process
# listening on the socket is not the executable the helper started.
# fault: helper killed before the daemon's pid was on record
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_IFACE=utun
before=$(tb_services_summary)
journal="/Library/Application Support/ZorvikVPN/tunnel-journal.json"

tb_step "start a tunnel, kill -9 the helper"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
daemon=$(sed -n 's/.*amneziawg-go pid=\([0-9]*\)$/\1/p' "$TB_HELPER_LOG" | tail -n 1)
[[ $daemon =~ ^[0-9]+$ ]] || tb_fail "no daemon pid in the helper log"
kill -KILL "$TB_HELPER_PID"
wait "$TB_HELPER_PID" 2>/dev/null || true

tb_step "the journal as it stood right after the spawn: no pid, no interface"
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
tb_expect_eq "$(readlink "/proc/$daemon/exe")" "$TB_HELPERS/amneziawg-go" "the daemon, still running"

tb_step "start the helper again: the daemon is found by its socket and ended"
rm -f "$TB_HELPER_SOCKET"
restarted=$EPOCHREALTIME
tb_start_helper FAKE_AWG_IFACE=utun
tb_wait_until_served
tb_figure "restored and served after (s)" "$(tb_seconds_since "$restarted")"
tb_old_daemon_gone() { ! readlink "/proc/$daemon/exe" >/dev/null 2>&1; }
tb_wait_for 5 tb_old_daemon_gone || tb_fail "the old daemon $daemon still runs"
tb_figure "daemons left after the restart" "$(pgrep -c -f "$TB_HELPERS/amneziawg-go" || true)"
tb_expect_contains "$(tb_helper_log)" \
  "amneziawg-go без записанного pid найден по сокету /var/run/amneziawg/utun.sock и остановлен: pid=$daemon" \
  "helper log"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_lacks "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "host route"
[ ! -e "$journal" ] || tb_fail "the journal is still there after the replay"

tb_step "then it serves as before"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_eq "$(tb_services_summary)" "$before" "network services after the stop"
