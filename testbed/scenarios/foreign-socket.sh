# Another daemon's live socket (utun9.sock) in the run directory, and our daemon's socket 30 ms
# after its interface name: every start configures our own daemon, and the other one receives
# nothing, neither the configuration nor the private key.
# fault: another daemon's live socket in the run directory
tb_network_up
tb_use_daemon fake
rounds=10

tb_step "another daemon serves utun9.sock and records what it receives"
WG_TUN_NAME_FILE=/tmp/other.name FAKE_AWG_IFACE=utun9 FAKE_AWG_RECORD="$TB/other-requests" \
  "$TB/daemons/fake" utun </dev/null >/dev/null 2>&1 &
other=$!
tb_wait_for 5 test -S /var/run/amneziawg/utun9.sock || tb_fail "the other daemon made no socket"

tb_start_helper FAKE_AWG_IFACE=utun FAKE_AWG_SOCKET_DELAY_MS=30 FAKE_AWG_RX_BYTES=4242 \
  FAKE_AWG_RECORD="$TB/own-requests"
before=$(tb_services_summary)
# A split tunnel without DNS: the socket is what is looked at, and ten starts with a full
# tunnel's 32 checked routes would fill the scenario's time on a busy machine.
config=$TB/split.conf
tb_client_config allowed=10.77.0.0/24 dns= >"$config"
exits() { grep -c "amneziawg-go завершился" "$TB_HELPER_LOG" || true; }
exited() { [ "$(exits)" -ge "$1" ]; }

tb_step "$rounds starts and stops"
for ((round = 1; round <= rounds; round++)); do
  tb_expect_eq "$(tb_ctl start "$config")" "tunnel started" "zorvikctl start $round"
  tb_expect_eq "$(tb_status_field rx)" 4242 "received bytes from our own daemon, round $round"
  tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop $round"
  # The next daemon takes the same name: the last one's socket must be gone first.
  tb_wait_for 5 exited "$round" || tb_fail "daemon $round did not exit"
done

tb_step "our daemons got every configuration, the other daemon none"
tb_expect_eq "$(grep -c "сокет готов: /var/run/amneziawg/utun.sock" "$TB_HELPER_LOG")" "$rounds" "sockets used"
tb_expect_lacks "$(tb_helper_log)" "utun9" "helper log"
tb_expect_eq "$(grep -c '^set=1$' "$TB/own-requests")" "$rounds" "set requests to our daemons"
other_bytes=0
[ -e "$TB/other-requests" ] && other_bytes=$(wc -c <"$TB/other-requests")
tb_expect_eq "$other_bytes" 0 "bytes of requests to the other daemon"
tb_figure "starts that configured the other daemon" "0 of $rounds"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
kill -0 "$other" || tb_fail "the other daemon did not survive"
kill -TERM "$other"
wait "$other" 2>/dev/null || true
