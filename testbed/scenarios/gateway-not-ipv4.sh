# A default route whose gateway is not an IPv4 address (IPv6 link-local, an interface route): the
# start fails as without a default route, before a daemon starts or anything is changed.
# fault: default gateway not IPv4
tb_network_up
tb_start_helper
before=$(tb_services_summary)

for gateway in "fe80::1%en0" "link#5"; do
  tb_step "start with the default gateway printed as $gateway"
  printf '%s\n' "$gateway" >"$TB/default-gateway"
  tb_expect_contains "$(TESTBED_NO_JOURNAL=1 /sbin/route -n get default)" "gateway: $gateway" "route -n get default"
  tb_journal_reset
  tb_start_fails "$TB_CLIENT_CONFIG" "нет маршрута по умолчанию"
  tb_expect_eq "$(tb_journal)" '["/sbin/route","-n","get","default"]' "tool journal"
done
tb_expect_eq "$(tb_helper_log)" "" "helper log (no daemon was started)"
tb_expect_eq "$(pgrep -x amneziawg-go || true)" "" "daemon processes"
tb_no_utun || tb_fail "a tunnel interface exists"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_eq "$(tb_status_field active)" false "status"
