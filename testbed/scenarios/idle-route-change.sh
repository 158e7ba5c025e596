# The default route changes while no tunnel is up, before a start and after a stop: the helper
# holds no route watch then, and makes no tool call.
tb_network_up
tb_second_link_add
tb_start_helper
# Longer than the watch's coalescing and a tool run: time for a wrong reaction to show.
settle() { sleep 1; }

tb_step "the default route moves to en1 before any tunnel"
tb_expect_eq "$(tb_helper_route_watches)" 0 "route watches of the idle helper"
ip link set en1 up
ip route replace default via "$TB_SECOND_GATEWAY" dev en1
settle
tb_expect_eq "$(tb_journal)" "" "tool journal of the idle helper"

tb_step "a tunnel over en1, then stopped"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_contains "$(tb_journal)" "[\"/sbin/route\",\"-q\",\"-n\",\"add\",\"-inet\",\"$TB_SERVER_ADDRESS/32\",\"$TB_SECOND_GATEWAY\"]" "host route over en1"
tb_expect_eq "$(tb_helper_route_watches)" 1 "route watches while up"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_eq "$(tb_helper_route_watches)" 0 "route watches after stop"

tb_step "the default route moves back to en0 after the stop"
tb_journal_reset
ip route replace default via "$TB_SERVER_ADDRESS" dev en0
ip link set en1 down
settle
tb_expect_eq "$(tb_journal)" "" "tool journal after the stop"
kill -0 "$TB_HELPER_PID" || tb_fail "the helper died"
