# The full round trip with the real daemon: start, traffic through the tunnel, status with real
# counts, every effect on routes, DNS and IPv6 while up, and all of it undone by stop.
tb_network_up
tb_start_helper
before=$(tb_services_summary)
tb_step "network services before the tunnel"
tb_note "$before"

tb_step "zorvikctl start"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"

tb_step "ping $TB_SERVER_TUNNEL_ADDRESS through the tunnel"
tb_ping_server 3
tb_expect_eq "$(tb_status_field active)" true "status while up"
rx1=$(tb_status_field rx) tx1=$(tb_status_field tx)
((rx1 > 0 && tx1 > 0)) || tb_fail "status counts no traffic after a ping: rx=$rx1 tx=$tx1"
tb_ping_server 3
rx2=$(tb_status_field rx) tx2=$(tb_status_field tx)
((rx2 > rx1 && tx2 > tx1)) || tb_fail "status counts did not rise: rx $rx1 -> $rx2, tx $tx1 -> $tx2"
tb_note "$(tb_ctl status)"

tb_step "DNS and IPv6 of the services while up"
tb_expect_services_tunneled

tb_step "zorvikctl stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
tb_expect_eq "$(tb_status_field rx)/$(tb_status_field tx)" 0/0 "counts after stop"

tb_step "the helper log"
tb_wait_for 5 grep -q "завершился" "$TB_HELPER_LOG" || tb_fail "the daemon's exit was not logged"
tb_expect_eq "$(tb_helper_log_messages)" "запускаю $TB_HELPERS/amneziawg-go
amneziawg-go pid=N
utun=utun; ищу UAPI-сокет в /var/run/amneziawg
сокет готов: /var/run/amneziawg/utun.sock
туннель поднят на utun → $TB_SERVER_ADDRESS
amneziawg-go завершился: код=0 reason=1" "helper log"
tb_expect_contains "$(<"$TB/helper.out")" "туннель опущен, конфигурация восстановлена" "system log"
tb_expect_lacks "$(tb_helper_log)" "туннель опущен" "helper log"
