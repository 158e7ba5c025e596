# Symlinks planted at both log paths, pointing at files elsewhere: neither is followed, the targets
# stay as they were, and requests are answered.
# fault: symlinks planted at both log paths
tb_network_up
tb_start_helper
before=$(tb_services_summary)
printf 'helper target\n' >/root/helper-target
printf 'daemon target\n' >/root/daemon-target
ln -s /root/helper-target "$TB_HELPER_LOG"
ln -s /root/daemon-target "$TB_DAEMON_LOG"

tb_step "start, status and stop with planted log symlinks"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_expect_eq "$(tb_status_field active)" true "status while up"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"

tb_step "the targets are unchanged"
tb_expect_eq "$(</root/helper-target)" "helper target" "helper log target"
tb_expect_eq "$(</root/daemon-target)" "daemon target" "daemon log target"
[ -L "$TB_HELPER_LOG" ] && [ -L "$TB_DAEMON_LOG" ] || tb_fail "a log symlink was replaced"
tb_expect_contains "$(<"$TB/helper.out")" "туннель поднят на utun" "system log"
tb_figure "system log records" "$(wc -l <"$TB/helper.out")"
