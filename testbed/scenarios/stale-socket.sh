# A dead socket of an earlier daemon on the same interface in the run directory, and a new daemon
# whose socket takes its place a second later: the helper waits until it listens.
# fault: dead socket of an earlier daemon
tb_network_up
tb_use_daemon fake

tb_step "an earlier daemon killed outright leaves utun.sock behind"
WG_TUN_NAME_FILE=/tmp/earlier.name FAKE_AWG_IFACE=utun "$TB/daemons/fake" utun </dev/null >/dev/null 2>&1 &
earlier=$!
tb_wait_for 5 test -S /var/run/amneziawg/utun.sock || tb_fail "the earlier daemon made no socket"
kill -KILL "$earlier"
wait "$earlier" 2>/dev/null || true
[ -S /var/run/amneziawg/utun.sock ] || tb_fail "the stale socket is gone"
stale=$(stat -c %i /var/run/amneziawg/utun.sock)

tb_step "start: the new daemon's socket is used"
tb_start_helper FAKE_AWG_IFACE=utun FAKE_AWG_SOCKET_DELAY_MS=1000 FAKE_AWG_RX_BYTES=4242
before=$(tb_services_summary)
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_contains "$(tb_helper_log)" "сокет готов: /var/run/amneziawg/utun.sock" "helper log"
[ "$(stat -c %i /var/run/amneziawg/utun.sock)" != "$stale" ] || tb_fail "the stale socket is still there"
tb_figure "socket used" "$(sed -n "s|.*сокет готов: /var/run/amneziawg/||p" "$TB_HELPER_LOG" | tail -1)"
tb_expect_eq "$(tb_status_field active)" true "status"
tb_expect_eq "$(tb_status_field rx)" 4242 "received bytes from the new daemon"

tb_step "stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_wait_for 5 grep -q "amneziawg-go завершился" "$TB_HELPER_LOG" || tb_fail "the daemon was not terminated"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_lacks "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "host route"
