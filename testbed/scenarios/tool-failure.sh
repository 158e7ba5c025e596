# A macOS tool that fails once: on the way up a failed DNS change fails the start and everything
# is undone (step-failure has each such step); on the way down the other restores still happen. A
# tool that is missing altogether is skipped: no service can be read, so none is changed.
# fault: tool calls fail; networksetup missing
tb_network_up
tb_start_helper
before=$(tb_services_summary)
planned=0
# The call written to fail-once was made (the stand-in removes the file when it fails it).
tb_expect_failure_reached() {
  [ ! -e "$TB/fail-once" ] || tb_fail "the planned failure was never reached"
  planned=$((planned + 1))
}

tb_step "start with one failing DNS change (Wi-Fi): the start fails, nothing stays changed"
printf '%s\n' "[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"Wi-Fi\",\"$TB_SERVER_TUNNEL_ADDRESS\"]" >"$TB/fail-once"
tb_start_fails "$TB_CLIENT_CONFIG" "DNS не установлен: Wi-Fi"
tb_expect_failure_reached
tb_expect_torn_down "$before"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_ping_server 2

tb_step "stop with one failing IPv6 restore (Wi-Fi)"
printf '%s\n' '["/usr/sbin/networksetup","-setv6automatic","Wi-Fi"]' >"$TB/fail-once"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_failure_reached
# Everything but the failed call is undone: Wi-Fi alone keeps IPv6 off.
tb_expect_torn_down "${before/Wi-Fi | none | Automatic/Wi-Fi | none | Off}"

tb_step "a host route delete that fails does not stop the restores"
tb_networksetup -setv6automatic Wi-Fi
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
printf '%s\n' "[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet\",\"$TB_SERVER_ADDRESS/32\",\"$TB_SERVER_ADDRESS\"]" >"$TB/fail-once"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_failure_reached
tb_wait_for 5 tb_no_utun || tb_fail "utun still exists"
tb_expect_eq "$(tb_services_summary)" "$before" "network services after stop"
tb_expect_contains "$(ip -4 route show)" "$TB_SERVER_ADDRESS via" "host route whose delete failed"

tb_step "networksetup missing: the tunnel still comes up and goes down, no service is touched"
tb_wait_for 5 tb_no_utun || tb_fail "utun still exists"
# A whiteout in an overlay laid over /usr/sbin hides the tool, so starting it fails with ENOENT.
mkdir -p "$TB/hide-networksetup"
mknod "$TB/hide-networksetup/networksetup" c 0 0
mount -t overlay testbed-hide -o "lowerdir=$TB/hide-networksetup:/usr/sbin" /usr/sbin
[ ! -e /usr/sbin/networksetup ] || tb_fail "networksetup is still there"
tb_journal_reset
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start without networksetup"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_ping_server 2
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop without networksetup"
tb_wait_for 5 tb_no_utun || tb_fail "utun still exists"
tb_expect_lacks "$(tb_journal)" "networksetup" "journal of the missing tool"
tb_figure "tool calls without networksetup" "$(wc -l <"$TB/journal")"
umount /usr/sbin
tb_expect_eq "$(tb_services_summary)" "$before" "network services after a run without networksetup"
tb_figure "planned failures reached" "$planned"
