# Three name servers that take every query and never answer (the resolver alone would try them
# for some 30 s): a start with a host name as its endpoint fails with the resolution error at the
# 5 s deadline, and a status sent half a second after the start is answered within the deadline
# plus a second.
# fault: name servers that never answer
tb_network_up
host=unanswered.testbed.test

tb_step "three name servers on loopback that drop every query"
python3 -c '
import socket, time
servers = []
for address in ("127.0.0.1", "127.0.0.2", "127.0.0.3"):
    server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    server.bind((address, 53))
    servers.append(server)
time.sleep(3600)
' </dev/null >/dev/null 2>&1 &
servers=$!
printf 'nameserver 127.0.0.1\nnameserver 127.0.0.2\nnameserver 127.0.0.3\n' >/etc/resolv.conf
listening() { [ "$(ss -Hlun 'sport = :53' | wc -l)" -eq 3 ]; }
tb_wait_for 5 listening || tb_fail "the name servers are not listening"

tb_start_helper
before=$(tb_services_summary)
tb_client_config endpoint="$host:$TB_SERVER_PORT" >"$TB/silent.conf"

tb_step "start with Endpoint = $host:$TB_SERVER_PORT, and a status 0.5 s later"
started=$EPOCHREALTIME
(
  status=0
  tb_ctl start "$TB/silent.conf" >"$TB/start.out" 2>"$TB/start.err" || status=$?
  printf '%s %s\n' "$status" "$(tb_seconds_since "$started")" >"$TB/start.result"
) &
starter=$!
sleep 0.5
asked=$EPOCHREALTIME
active=$(tb_status_field active)
status_after=$(tb_seconds_since "$asked")
wait "$starter"
read -r start_status start_after <"$TB/start.result"
tb_figure "start failed after (s)" "$start_after"
tb_figure "status sent 0.5 s after the start answered after (s)" "$status_after"

tb_expect_eq "$start_status" 1 "zorvikctl start exit status"
tb_expect_contains "$(<"$TB/start.err")" "start failed: не удалось разрешить $host" "zorvikctl start error"
tb_expect_eq "$active" false "status during the start"
tb_expect_eq "$(awk -v s="$status_after" 'BEGIN { print (s <= 6) }')" 1 \
  "status answered within 6 s (took $status_after s)"
tb_expect_eq "$(awk -v s="$start_after" 'BEGIN { print (s <= 6) }')" 1 \
  "start answered within 6 s (took $start_after s)"

tb_step "nothing was changed, and the helper still serves"
tb_expect_eq "$(tb_journal)" '["/sbin/route","-n","get","default"]' "tool journal"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_eq "$(tb_helper_log)" "" "helper log (no daemon was started)"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
kill "$servers"
wait "$servers" 2>/dev/null || true
