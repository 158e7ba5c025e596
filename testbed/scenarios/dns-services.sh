# Services whose DNS cannot be read cleanly, or that are listed twice: across a start and a stop
# the unreadable one is never touched, and the doubled one is backed up once and gets its own
# servers back.
# fault: a service's DNS unreadable; a service listed twice
tb_network_up
printf '%s\t%s\t%s\t%s\n' \
  1 "Wi-Fi" Automatic "" \
  1 "USB 10/100/1000 LAN" Manual "192.0.2.53 198.51.100.53" \
  1 "USB 10/100/1000 LAN" Manual "192.0.2.53 198.51.100.53" >"$TB/services"
printf '%s\t%s\t%s\t%s\t%s\n' 1 "Ethernet" Automatic "203.0.113.53" unreadable >>"$TB/services"
tb_start_helper
ethernet=$(grep -P '^1\tEthernet\t' "$TB/services")
tb_expect_eq "$(tb_networksetup -getdnsservers Ethernet)" "** Error: The parameters were not valid." "Ethernet's servers as read"
tb_expect_eq "$(tb_networksetup -listallnetworkservices | grep -cx "USB 10/100/1000 LAN")" 2 "listings of the USB LAN"

tb_step "zorvikctl start"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_eq "$(tb_networksetup -getdnsservers Wi-Fi)" "$TB_SERVER_TUNNEL_ADDRESS" "Wi-Fi's servers while up"
tb_expect_eq "$(tb_networksetup -getdnsservers "USB 10/100/1000 LAN")" "$TB_SERVER_TUNNEL_ADDRESS" "USB LAN's servers while up"
journal=$(tb_journal)
tb_expect_eq "$(grep -cxF '["/usr/sbin/networksetup","-getdnsservers","USB 10/100/1000 LAN"]' <<<"$journal")" 2 "reads of the USB LAN's servers (backup, check)"
tb_expect_eq "$(grep -cF '"-setdnsservers","USB 10/100/1000 LAN"' <<<"$journal")" 1 "changes of the USB LAN's servers"

tb_step "zorvikctl stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_eq "$(tb_networksetup -getdnsservers "USB 10/100/1000 LAN")" $'192.0.2.53\n198.51.100.53' "USB LAN's servers after stop"
tb_expect_eq "$(tb_networksetup -getdnsservers Wi-Fi)" "There aren't any DNS Servers set on Wi-Fi." "Wi-Fi's servers after stop"
tb_expect_lacks "$(tb_journal)" '"-setdnsservers","Ethernet"' "journal (Ethernet's servers never set)"
tb_expect_eq "$(grep -P '^1\tEthernet\t' "$TB/services")" "$ethernet" "Ethernet's state after stop"
