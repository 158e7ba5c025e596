# A client that closes its connection while its start is under way (the fake daemon makes its
# socket two seconds late): the helper finishes the start, a new client's status sees it, and
# its stop undoes it.
# fault: client killed mid-start
tb_network_up
tb_use_daemon fake
tb_start_helper FAKE_AWG_IFACE=utun FAKE_AWG_SOCKET_DELAY_MS=2000
before=$(tb_services_summary)

tb_step "a client sends start and is killed before the reply"
tb_ctl start "$TB_CLIENT_CONFIG" >/dev/null 2>&1 &
client=$!
tb_wait_for 5 grep -qs "ищу UAPI-сокет" "$TB_HELPER_LOG" || tb_fail "the start did not begin"
gone=$EPOCHREALTIME
{
  kill -KILL "$client"
  wait "$client" || true
} 2>/dev/null

tb_step "a new client's status waits for the start and sees the tunnel up"
tb_expect_eq "$(tb_status_field active)" true "status after the client left"
tb_figure "tunnel up after the client left (s)" "$(tb_seconds_since "$gone")"
tb_expect_contains "$(tb_helper_log)" "туннель поднят на utun → $TB_SERVER_ADDRESS" "helper log"
tb_expect_contains "$(ip -4 route show)" "$TB_SERVER_ADDRESS via $TB_SERVER_ADDRESS dev en0" "host route"
tb_wait_for 5 grep -q "XPC-соединение закрыто" "$TB/helper.out" || tb_fail "the closed connection was not logged"
kill -0 "$TB_HELPER_PID" || tb_fail "the helper died"

tb_step "a new client's stop undoes it"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_wait_for 5 grep -q "amneziawg-go завершился" "$TB_HELPER_LOG" || tb_fail "the daemon was not terminated"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_lacks "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "host route"
tb_expect_eq "$(tb_status_field active)" false "status after stop"
