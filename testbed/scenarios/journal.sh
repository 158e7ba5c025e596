# The exact, ordered tool calls of a full start and stop: every argument vector the helper hands
# to route, ifconfig and networksetup, as the macOS tools would receive them.
tb_network_up
tb_start_helper
tb_client_config dns="10.77.0.1, 10.77.0.53" >"$TB/two-dns.conf"

tb_step "start and stop, journaling every tool call"
tb_expect_eq "$(tb_ctl start "$TB/two-dns.conf")" "tunnel started" "zorvikctl start"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"

gateway=$TB_SERVER_ADDRESS
lan="USB 10/100/1000 LAN"
expected=$(
  cat <<JOURNAL
["/sbin/route","-n","get","default"]
["/sbin/ifconfig","utun","inet","10.77.0.2","10.77.0.2","alias"]
["/sbin/ifconfig","utun","mtu","1380"]
["/sbin/ifconfig","utun","up"]
["/sbin/route","-q","-n","add","-inet","$TB_SERVER_ADDRESS/32","$gateway"]
["/sbin/route","-q","-n","add","-inet","0.0.0.0/1","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","128.0.0.0/1","-interface","utun"]
["/usr/sbin/networksetup","-listallnetworkservices"]
["/usr/sbin/networksetup","-getdnsservers","Wi-Fi"]
["/usr/sbin/networksetup","-setdnsservers","Wi-Fi","10.77.0.1","10.77.0.53"]
["/usr/sbin/networksetup","-getdnsservers","$lan"]
["/usr/sbin/networksetup","-setdnsservers","$lan","10.77.0.1","10.77.0.53"]
["/usr/sbin/networksetup","-getdnsservers","Thunderbolt Bridge"]
["/usr/sbin/networksetup","-setdnsservers","Thunderbolt Bridge","10.77.0.1","10.77.0.53"]
["/usr/sbin/networksetup","-listallnetworkservices"]
["/usr/sbin/networksetup","-getinfo","Wi-Fi"]
["/usr/sbin/networksetup","-setv6off","Wi-Fi"]
["/usr/sbin/networksetup","-getinfo","$lan"]
["/usr/sbin/networksetup","-getinfo","Thunderbolt Bridge"]
["/sbin/route","-q","-n","delete","-inet","$TB_SERVER_ADDRESS/32","$gateway"]
["/usr/sbin/networksetup","-setdnsservers","Thunderbolt Bridge","Empty"]
["/usr/sbin/networksetup","-setdnsservers","$lan","192.0.2.53","198.51.100.53"]
["/usr/sbin/networksetup","-setdnsservers","Wi-Fi","Empty"]
["/usr/sbin/networksetup","-setv6automatic","Wi-Fi"]
JOURNAL
)
tb_step "the journal, call by call"
tb_note "$(tb_journal)"
tb_expect_eq "$(tb_journal)" "$expected" "tool journal"
