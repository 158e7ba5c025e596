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
["/sbin/route","-q","-n","add","-inet","128.0.0.0/1","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","64.0.0.0/2","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","32.0.0.0/3","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","16.0.0.0/4","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","0.0.0.0/5","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","12.0.0.0/6","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","8.0.0.0/7","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","11.0.0.0/8","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.0.0.0/9","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.128.0.0/10","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.224.0.0/11","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.208.0.0/12","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.192.0.0/13","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.204.0.0/14","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.202.0.0/15","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.201.0.0/16","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.128.0/17","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.64.0/18","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.32.0/19","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.16.0/20","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.8.0/21","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.4.0/22","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.2.0/23","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.1.0/24","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.0.128/25","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.0.64/26","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.0.32/27","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.0.16/28","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.0.8/29","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.0.4/30","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.0.0/31","-interface","utun"]
["/sbin/route","-q","-n","add","-inet","10.200.0.3/32","-interface","utun"]
["/sbin/route","-q","-n","add","-inet6","::/1","::1","-reject"]
["/sbin/route","-q","-n","add","-inet6","8000::/1","::1","-reject"]
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
["/sbin/route","-q","-n","delete","-inet6","::/1","::1"]
["/sbin/route","-q","-n","delete","-inet6","8000::/1","::1"]
["/usr/sbin/networksetup","-setdnsservers","Thunderbolt Bridge","Empty"]
["/usr/sbin/networksetup","-setdnsservers","$lan","192.0.2.53","198.51.100.53"]
["/usr/sbin/networksetup","-setdnsservers","Wi-Fi","Empty"]
["/usr/sbin/networksetup","-setv6automatic","Wi-Fi"]
JOURNAL
)
tb_step "the journal, call by call"
tb_note "$(tb_journal)"
tb_expect_eq "$(tb_journal)" "$expected" "tool journal"
