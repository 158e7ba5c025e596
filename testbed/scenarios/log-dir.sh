# The log directory read-only, then missing: the records are lost, the helper is not, and start,
# status and stop work as ever.
# fault: log directory read-only, then missing
tb_network_up
tb_start_helper
before=$(tb_services_summary)
round_trips=0

tb_round_trip() {
  tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
  tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
  tb_ping_server 2
  tb_expect_eq "$(tb_status_field active)" true "status while up"
  tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
  tb_expect_torn_down "$before"
  round_trips=$((round_trips + 1))
}

tb_step "/Library/Logs read-only"
mount -o remount,ro /Library/Logs
tb_round_trip
tb_expect_eq "$(ls -A /Library/Logs)" "" "files in the read-only directory"

tb_step "/Library/Logs missing"
umount /Library/Logs
rmdir /Library/Logs
tb_round_trip
[ ! -e /Library/Logs ] || tb_fail "the log directory was made"
kill -0 "$TB_HELPER_PID" || tb_fail "the helper died"
tb_expect_contains "$(<"$TB/helper.out")" "туннель поднят на utun" "system log"
tb_figure "round trips without a log file" "$round_trips"
