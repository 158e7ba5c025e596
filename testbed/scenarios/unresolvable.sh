# An endpoint host that does not resolve: the start fails after the gateway lookup, and the
# teardown has no host route to delete.
# fault: endpoint name does not resolve
tb_network_up
tb_start_helper
before=$(tb_services_summary)
tb_client_config endpoint="nowhere.invalid:$TB_SERVER_PORT" >"$TB/unresolvable.conf"

tb_step "start with Endpoint = nowhere.invalid:$TB_SERVER_PORT"
tb_start_fails "$TB/unresolvable.conf" "не удалось разрешить nowhere.invalid"
tb_expect_eq "$(tb_journal)" '["/sbin/route","-n","get","default"]' "tool journal"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_eq "$(tb_helper_log)" "" "helper log (no daemon was started)"
tb_expect_eq "$(tb_status_field active)" false "status"
