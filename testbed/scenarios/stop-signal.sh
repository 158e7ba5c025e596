# launchd stops the job (SIGTERM) while a tunnel is up: the helper takes the tunnel down as a stop
# does and exits with status 0, so the keep-alive rule does not start it again. Services, routes
# and the journal are as they were before the tunnel.
# fault: helper SIGTERMed (launchd stops the job) with a tunnel up
tb_network_up
tb_start_helper
before=$(tb_services_summary)
routes=$(ip -4 route show)
journal="/Library/Application Support/ZorvikVPN/tunnel-journal.json"

tb_step "start a tunnel"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
[ "$(tb_services_summary)" != "$before" ] || tb_fail "the start changed no network service"
[ -e "$journal" ] || tb_fail "no journal while up"

tb_step "SIGTERM to the helper: the teardown, then exit status 0"
signalled=$EPOCHREALTIME
kill -TERM "$TB_HELPER_PID"
status=0
wait "$TB_HELPER_PID" || status=$?
tb_figure "exited after SIGTERM (s)" "$(tb_seconds_since "$signalled")"
tb_expect_eq "$status" 0 "the helper's exit status"
tb_expect_contains "$(<"$TB/helper.out")" "daemon info: zorvik-helper завершается по сигналу 15
tunnel info: туннель опущен, конфигурация восстановлена" "the helper's standard error"

tb_step "everything as before the tunnel"
tb_wait_for 5 tb_no_utun || tb_fail "utun still exists: the daemon was not terminated"
tb_expect_eq "$(ip -4 route show)" "$routes" "routes"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
[ ! -e "$journal" ] || tb_fail "the journal outlived the teardown"
