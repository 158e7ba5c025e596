# The simulated macOS tools on their own: route, ifconfig and networksetup print what the macOS
# tools print, change the real network, and journal every call exactly.
tb_network_up

tb_step "route -n get default reports the gateway"
out=$(/sbin/route -n get default)
tb_expect_contains "$out" "    gateway: $TB_SERVER_ADDRESS" "route get default"
tb_expect_contains "$out" "  interface: en0" "route get default"

tb_step "route add and delete change the real routing table"
/sbin/route -q -n add -inet 10.200.0.2/32 10.200.0.2
tb_expect_contains "$(ip -4 route show 10.200.0.2/32)" "via 10.200.0.2 dev en0" "host route"
if /sbin/route -q -n add -inet 10.200.0.2/32 10.200.0.2 2>"$TB/err"; then
  tb_fail "adding an existing route succeeded"
fi
tb_expect_contains "$(<"$TB/err")" "File exists" "second add"
/sbin/route -q -n delete -inet 10.200.0.2/32 10.200.0.2
tb_expect_eq "$(ip -4 route show 10.200.0.2/32)" "" "host route after delete"

tb_step "ifconfig gives a point-to-point address, MTU and up state"
tb_server ip link add probe0 type veth peer name probe1 netns "$$"
/sbin/ifconfig probe1 inet 10.77.0.2 10.77.0.2 alias
/sbin/ifconfig probe1 mtu 1380
/sbin/ifconfig probe1 up
tb_expect_eq "$(</sys/class/net/probe1/mtu)" 1380 "MTU"
tb_expect_contains "$(ip -4 -o addr show dev probe1)" "inet 10.77.0.2" "address"
tb_expect_contains "$(/sbin/ifconfig probe1)" "inet 10.77.0.2 netmask 0xffffffff" "ifconfig show"
/sbin/route -q -n add -inet 0.0.0.0/1 -interface probe1
tb_expect_contains "$(ip -4 route show 0.0.0.0/1)" "dev probe1" "half-space route"

tb_step "route -n get default without a default route prints no gateway"
ip route del default
out=$(/sbin/route -n get default 2>"$TB/err") && tb_fail "route get succeeded without a default route"
tb_expect_lacks "$out" "gateway:" "route get without default"
tb_expect_contains "$(<"$TB/err")" "not in table" "route get without default"

tb_step "networksetup lists, reads and changes services"
listing=$(/usr/sbin/networksetup -listallnetworkservices)
tb_expect_eq "$listing" "An asterisk (*) denotes that a network service is disabled.
Wi-Fi
USB 10/100/1000 LAN
*Bluetooth PAN
Thunderbolt Bridge" "service listing"
tb_expect_eq "$(/usr/sbin/networksetup -getdnsservers Wi-Fi)" \
  "There aren't any DNS Servers set on Wi-Fi." "Wi-Fi DNS"
tb_expect_eq "$(/usr/sbin/networksetup -getdnsservers "USB 10/100/1000 LAN")" \
  $'192.0.2.53\n198.51.100.53' "LAN DNS"
/usr/sbin/networksetup -setdnsservers Wi-Fi 10.77.0.1 10.77.0.9
tb_expect_eq "$(/usr/sbin/networksetup -getdnsservers Wi-Fi)" $'10.77.0.1\n10.77.0.9' "Wi-Fi DNS after set"
/usr/sbin/networksetup -setdnsservers Wi-Fi Empty
tb_expect_eq "$(/usr/sbin/networksetup -getdnsservers Wi-Fi)" \
  "There aren't any DNS Servers set on Wi-Fi." "Wi-Fi DNS after Empty"
if /usr/sbin/networksetup -setdnsservers Wi-Fi "not an address" 2>/dev/null; then
  tb_fail "a DNS server that is no address was accepted"
fi
tb_expect_contains "$(/usr/sbin/networksetup -getinfo Wi-Fi)" "IPv6: Automatic" "Wi-Fi IPv6"
tb_expect_contains "$(/usr/sbin/networksetup -getinfo "USB 10/100/1000 LAN")" "IPv6: Manual" "LAN IPv6"
/usr/sbin/networksetup -setv6off Wi-Fi
tb_expect_contains "$(/usr/sbin/networksetup -getinfo Wi-Fi)" "IPv6: Off" "Wi-Fi IPv6 after off"
/usr/sbin/networksetup -setv6automatic Wi-Fi
tb_expect_contains "$(/usr/sbin/networksetup -getinfo Wi-Fi)" "IPv6: Automatic" "Wi-Fi IPv6 after automatic"
if /usr/sbin/networksetup -getinfo "No Such Service" 2>/dev/null; then
  tb_fail "an unknown service was accepted"
fi

tb_step "the journal holds every call, in order, one JSON array each"
expected='["/sbin/route","-n","get","default"]
["/sbin/route","-q","-n","add","-inet","10.200.0.2/32","10.200.0.2"]
["/sbin/route","-q","-n","add","-inet","10.200.0.2/32","10.200.0.2"]
["/sbin/route","-q","-n","delete","-inet","10.200.0.2/32","10.200.0.2"]
["/sbin/ifconfig","probe1","inet","10.77.0.2","10.77.0.2","alias"]
["/sbin/ifconfig","probe1","mtu","1380"]
["/sbin/ifconfig","probe1","up"]
["/sbin/ifconfig","probe1"]
["/sbin/route","-q","-n","add","-inet","0.0.0.0/1","-interface","probe1"]
["/sbin/route","-n","get","default"]
["/usr/sbin/networksetup","-listallnetworkservices"]
["/usr/sbin/networksetup","-getdnsservers","Wi-Fi"]
["/usr/sbin/networksetup","-getdnsservers","USB 10/100/1000 LAN"]
["/usr/sbin/networksetup","-setdnsservers","Wi-Fi","10.77.0.1","10.77.0.9"]
["/usr/sbin/networksetup","-getdnsservers","Wi-Fi"]
["/usr/sbin/networksetup","-setdnsservers","Wi-Fi","Empty"]
["/usr/sbin/networksetup","-getdnsservers","Wi-Fi"]
["/usr/sbin/networksetup","-setdnsservers","Wi-Fi","not an address"]
["/usr/sbin/networksetup","-getinfo","Wi-Fi"]
["/usr/sbin/networksetup","-getinfo","USB 10/100/1000 LAN"]
["/usr/sbin/networksetup","-setv6off","Wi-Fi"]
["/usr/sbin/networksetup","-getinfo","Wi-Fi"]
["/usr/sbin/networksetup","-setv6automatic","Wi-Fi"]
["/usr/sbin/networksetup","-getinfo","Wi-Fi"]
["/usr/sbin/networksetup","-getinfo","No Such Service"]'
tb_expect_eq "$(tb_journal)" "$expected" "journal"
tb_journal_reset
/sbin/route -n get $'quote" back\\slash\ttab\nline\001' 2>/dev/null || true
tb_expect_eq "$(tb_journal)" '["/sbin/route","-n","get","quote\" back\\slash\ttab\nline\u0001"]' "escaped journal record"
