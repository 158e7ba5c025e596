# A configuration with the obfuscation keys, which the vanilla daemon refuses: the start fails
# with the daemon's UAPI rejection, and everything started so far is torn down.
tb_network_up
tb_start_helper
before=$(tb_services_summary)
tb_client_config extra=$'Jc = 4\nJmin = 40\nJmax = 70\nS1 = 0\nS2 = 0\nH1 = 1\nH2 = 2\nH3 = 3\nH4 = 4' \
  >"$TB/obfuscated.conf"

tb_step "start with Jc, Jmin, Jmax, S1, S2, H1-H4 against the vanilla daemon"
tb_start_fails "$TB/obfuscated.conf" "UAPI отклонил конфиг: "
tb_expect_contains "$(<"$TB/ctl.err")" "errno=-22" "rejection text"
tb_note "$(<"$TB/ctl.err")"

tb_step "complete teardown"
tb_expect_torn_down "$before"
# The bring-up got past the endpoint, so the teardown deletes the host route it never added.
tb_expect_eq "$(tb_journal)" "[\"/sbin/route\",\"-n\",\"get\",\"default\"]
[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet\",\"$TB_SERVER_ADDRESS/32\",\"$TB_SERVER_ADDRESS\"]" "tool journal"
tb_expect_contains "$(<"$TB/helper.out")" "startTunnel: UAPI отклонил конфиг: " "system log"
tb_wait_for 5 grep -q "завершился: код=0" "$TB_HELPER_LOG" || tb_fail "the daemon's exit was not logged"
