# A configuration with a NUL byte after its last line, so that a reader stopping at the NUL would
# see a whole, good configuration: the start fails at once and nothing is run or changed.
# fault: NUL in the configuration
tb_network_up
tb_start_helper
before=$(tb_services_summary)
{
  tb_client_config
  printf '\0'
} >"$TB/nul.conf"
tb_expect_eq "$(tr -cd '\000' <"$TB/nul.conf" | wc -c)" 1 "NUL bytes in the configuration"

tb_step "start with a NUL at the end of the configuration"
tb_journal_reset
tb_start_fails "$TB/nul.conf" "в конфиге есть NUL-байт"
tb_expect_eq "$(tb_journal)" "" "tool journal"
tb_expect_eq "$(tb_helper_log)" "" "helper log (no daemon was started)"
tb_expect_eq "$(pgrep -x amneziawg-go || true)" "" "daemon processes"
tb_no_utun || tb_fail "a tunnel interface exists"
tb_expect_eq "$(tb_services_summary)" "$before" "network services"
tb_expect_eq "$(tb_status_field active)" false "status"
