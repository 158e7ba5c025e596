# While a start holds the service's queue (the fake daemon makes its socket 3 s late), user
# nobody runs the genuine zorvikctl with a library that pipelines 100 start requests of 1 MB on
# each of 4 connections. A connection has only a few requests pending and all of them together
# a bound in bytes, so the helper's peak resident size stays small; once the flood is answered
# and gone its size is back within twice that at rest, and root's client is served.
# fault: pipelined large requests while the queue is busy
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_IFACE=utun FAKE_AWG_SOCKET_DELAY_MS=3000
tb_wait_until_served
rest=$(tb_helper_rss)
tb_figure "helper RSS at rest (KiB)" "$rest"

# A split tunnel without DNS: the flood waits behind the daemon's late socket, not behind a full
# tunnel's 32 checked routes, which under a sanitizer outlast the flooding client's patience.
config=$TB/split.conf
tb_client_config allowed=10.77.0.0/24 dns= >"$config"

tb_step "root's start holds the queue; nobody pipelines 4 x 100 starts of 1 MB"
tb_ctl start "$config" >"$TB/start.out" 2>"$TB/start.err" &
starter=$!
tb_wait_for 5 grep -qs "ищу UAPI-сокет" "$TB_HELPER_LOG" || tb_fail "the start did not begin"
tb_abuse "$TB_NOBODY" "$TB_HELPERS/zorvikctl" "pipeline 4 100 40 startTunnel 1000000" >"$TB/flood.out" &
flooder=$!
wait "$starter" || true
tb_expect_eq "$(<"$TB/start.out")" "tunnel started" "root's start"

tb_step "every flooding start is answered; the flood ends"
wait "$flooder" || true
peak=$(tb_helper_rss VmHWM)
tb_figure "helper peak RSS (KiB)" "$peak"
answered=$(sed -n 's/^answered \([0-9]*\) .*/\1/p' "$TB/flood.out")
tb_figure "flooding starts answered (of 400)" "$answered"
closed() { [ "$(grep -c "XPC-соединение закрыто" "$TB/helper.out")" -ge 6 ]; }
tb_wait_for 5 closed || tb_fail "the flooding connections were not closed"
# The memory goes back once the last request is answered and a connection has ended.
rss_back() { [ "$(tb_helper_rss)" -le $((2 * rest)) ]; }
tb_wait_for 3 rss_back || true
after=$(tb_helper_rss)
tb_figure "helper RSS after the flood (KiB)" "$after"
tb_expect_eq "$answered" 400 "flooding starts answered"
# The bounds are the system allocator's: AddressSanitizer's keeps freed blocks in quarantine.
if ldd "$TB_HELPERS/zorvik-helper" | grep -q libasan; then
  tb_note "AddressSanitizer build: the memory bounds are not checked"
else
  tb_expect_eq "$((peak < 64 * 1024))" 1 "peak RSS under 64 MiB ($peak KiB)"
  tb_expect_eq "$((after <= 2 * rest))" 1 "RSS after the flood within twice that at rest ($after KiB, $rest KiB at rest)"
fi
tb_expect_eq "$(tb_status_field active)" false "root's status after the flood"
