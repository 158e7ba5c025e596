# The tunnel belongs to the helper, not to a connection: a client that starts it and disconnects
# leaves it up, and a new client sees it, its traffic, and can stop it.
tb_network_up
tb_start_helper
before=$(tb_services_summary)

tb_step "one client starts the tunnel and disconnects"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_wait_for 5 grep -q "XPC-соединение закрыто" "$TB/helper.out" || tb_fail "the closed connection was not logged"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"

tb_step "a new client sees the tunnel up and its traffic"
tb_ping_server 2
tb_expect_eq "$(tb_status_field active)" true "status from a new connection"
rx=$(tb_status_field rx)
((rx > 0)) || tb_fail "a new client sees no received bytes"
tb_expect_eq "$(tb_ctl version)" 1 "version"

tb_step "a third client stops it"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"

tb_step "a client that leaves before its start is answered: the tunnel comes up all the same"
tb_ctl start "$TB_CLIENT_CONFIG" >/dev/null 2>&1 &
client=$!
# Killed as soon as the daemon is launched, the client is gone before the bring-up ends (were
# it quicker, this would be a plain disconnect).
tb_second_launch() { [ "$(grep -c "запускаю" "$TB_HELPER_LOG")" -ge 2 ]; }
tb_wait_for 10 tb_second_launch || tb_fail "the second bring-up did not begin"
kill -KILL "$client"
wait "$client" 2>/dev/null || true
tb_is_up() { [ "$(tb_status_field active)" = true ]; }
tb_wait_for 15 tb_is_up || tb_fail "the tunnel did not come up after its client left"
kill -0 "$TB_HELPER_PID" || tb_fail "the helper died answering a client that had left"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_ping_server 2
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
