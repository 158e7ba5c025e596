# No default route: the start fails before anything is changed or started.
# fault: no default route
tb_network_up
tb_start_helper
before=$(tb_services_summary)
ip route del default

tb_step "start without a default route"
tb_start_fails "$TB_CLIENT_CONFIG" "нет маршрута по умолчанию"
tb_expect_eq "$(tb_journal)" '["/sbin/route","-n","get","default"]' "tool journal"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_eq "$(tb_helper_log)" "" "helper log (no daemon was started)"
tb_no_utun || tb_fail "a tunnel interface exists"
tb_expect_eq "$(tb_status_field active)" false "status"
