# The helper started under umask 002 with no run directory yet: it makes /var/run/amneziawg
# 0755, as a Mac's /var/run entries are, and its own directory passes its own check, start
# after start.
# fault: the helper started under umask 002
tb_network_up
umount /var/run/amneziawg
rmdir /var/run/amneziawg
umask 002
tb_start_helper
umask 022
before=$(tb_services_summary)

for round in 1 2; do
  tb_step "zorvikctl start and stop, round $round"
  tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
  tb_expect_eq "$(stat -c %a /var/run/amneziawg)" 755 "mode of the run directory"
  tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
  tb_ping_server 2
  tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
  tb_expect_torn_down "$before"
  tb_expect_eq "$(ls -A /var/run/amneziawg)" "" "run directory after stop"
done
tb_expect_lacks "$(tb_helper_log)" "небезопасный каталог" "helper log"
