# The simulated macOS tools' IPv6 forms on their own: route -inet6 (through an interface, through
# a gateway, -reject) and route -n get -inet6 printed as macOS prints it, ifconfig inet6 aliases
# and their listing, networksetup -setv6off/-setv6automatic acting on en0 in the kernel, and
# search domains; every call journaled exactly.
tb_network_up
tb_journal_reset

tb_step "en0 has IPv6 at once: a ping to $TB_PUBLIC_ADDRESS6 through its router"
ping -6 -c 1 -W 2 "$TB_PUBLIC_ADDRESS6" >/dev/null || tb_fail "no IPv6 answer through en0"
tb_checked
tb_expect_eq "$(tb_route_get -inet6 "$TB_PUBLIC_ADDRESS6")" "   route to: $TB_PUBLIC_ADDRESS6
destination: default
       mask: default
    gateway: $TB_GATEWAY6
  interface: en0
      flags: <UP,GATEWAY,DONE,STATIC,PRCLONING>
 recvpipe  sendpipe  ssthresh  rtt,msec    rttvar  hopcount      mtu     expire
       0         0         0         0         0         0     1500         0 " "route get -inet6 through the default route"
tb_expect_contains "$(/sbin/ifconfig en0)" $'\tinet6 '"$TB_MAC_ADDRESS6 prefixlen 64 " "ifconfig en0 lists its global address"
tb_expect_contains "$(/sbin/ifconfig en0)" "%en0 prefixlen 64 scopeid 0x" "ifconfig en0 lists its link-local address"

tb_step "ifconfig inet6 alias on a point-to-point interface, and its removal"
tb_server ip link add probe0 type veth peer name probe1 netns "$$"
/sbin/ifconfig probe1 up
/sbin/ifconfig probe1 inet6 fd77::2 prefixlen 128 alias
tb_expect_contains "$(ip -6 -o addr show dev probe1)" "inet6 fd77::2/128 scope global" "address added"
tb_expect_lacks "$(ip -6 -o addr show dev probe1)" "tentative" "address usable at once"
# The line as in6_status prints it, its trailing blank marked.
tb_expect_eq "$(/sbin/ifconfig probe1 | sed -n '/inet6/s/$/|/p')" $'\tinet6 fd77::2 prefixlen 128 |' "ifconfig show"
/sbin/ifconfig probe1 inet6 fd77::2 -alias
tb_expect_lacks "$(ip -6 -o addr show dev probe1)" "fd77::2" "address after -alias"
if /sbin/ifconfig probe1 inet6 fd77::zz prefixlen 64 alias 2>"$TB/err"; then tb_fail "a bad IPv6 address was accepted"; fi
tb_expect_eq "$(<"$TB/err")" "ifconfig: fd77::zz: bad value" "bad address"
/sbin/ifconfig probe1 inet6 fd77::2/128 alias

tb_step "route -inet6 through an interface and a gateway, with get showing each"
/sbin/route -q -n add -inet6 ::/1 -interface probe1
/sbin/route -q -n add -inet6 fd00:1::/64 "$TB_GATEWAY6"
tb_expect_contains "$(ip -6 route show ::/1)" "dev probe1" "half-space route"
tb_expect_contains "$(ip -6 route show fd00:1::/64)" "via $TB_GATEWAY6 dev en0" "gateway route"
tb_expect_eq "$(tb_route_get -inet6 2001:db8:ffff::1 | sed -n 2,5p)" "destination: ::
       mask: 8000::
  interface: probe1
      flags: <UP,DONE,STATIC>" "route get -inet6 through the interface"
tb_expect_eq "$(tb_route_get -inet6 fd00:1::9 | sed -n 2,5p)" "destination: fd00:1::
       mask: ffff:ffff:ffff:ffff::
    gateway: $TB_GATEWAY6
  interface: en0" "route get -inet6 through the gateway"
if /sbin/route -q -n add -inet6 ::/1 -interface probe1 2>"$TB/err"; then tb_fail "adding an existing IPv6 route succeeded"; fi
tb_expect_contains "$(<"$TB/err")" "File exists" "second add"
/sbin/route -q -n delete -inet6 ::/1 -interface probe1
/sbin/route -q -n delete -inet6 fd00:1::/64 "$TB_GATEWAY6"
tb_expect_eq "$(ip -6 route show ::/1)$(ip -6 route show fd00:1::/64)" "" "routes after delete"

tb_step "reject routes refuse IPv6 at once, and go with delete"
/sbin/route -q -n add -inet6 ::/1 ::1 -reject
/sbin/route -q -n add -inet6 8000::/1 ::1 -reject
tb_expect_contains "$(ip -6 route show ::/1)" "unreachable ::/1" "reject route"
status=0
ping -6 -c 1 -W 5 "$TB_PUBLIC_ADDRESS6" >"$TB/ping.out" 2>&1 || status=$?
tb_expect_eq "$status" 2 "ping exit status under a reject route (output: $(<"$TB/ping.out"))"
tb_expect_contains "$(<"$TB/ping.out")" "connect: No route to host" "ping under a reject route"
tb_expect_eq "$(tb_route_get -inet6 "$TB_PUBLIC_ADDRESS6" | sed -n 2,6p)" "destination: ::
       mask: 8000::
    gateway: ::1
  interface: lo
      flags: <UP,GATEWAY,REJECT,DONE,STATIC>" "route get -inet6 of a reject route"
/sbin/route -q -n delete -inet6 ::/1 ::1
/sbin/route -q -n delete -inet6 8000::/1 ::1 -reject
tb_expect_eq "$(ip -6 route show type unreachable)" "" "reject routes after delete"
ping -6 -c 1 -W 2 "$TB_PUBLIC_ADDRESS6" >/dev/null || tb_fail "no IPv6 answer after the reject routes went"
tb_checked
if /sbin/route -q -n delete -inet6 ::/1 ::1 2>"$TB/err"; then tb_fail "deleting a missing route succeeded"; fi
tb_expect_contains "$(<"$TB/err")" "not in table" "delete of a missing route"
/sbin/route -q -n add -inet 10.99.0.0/24 -interface probe1
tb_expect_contains "$(ip -4 route show 10.99.0.0/24)" "dev probe1" "IPv4 as before"

tb_step "networksetup -setv6off takes en0's IPv6 away, -setv6automatic gives it back"
/usr/sbin/networksetup -setv6off Wi-Fi
tb_expect_eq "$(ip -6 -o addr show dev en0)" "" "en0's IPv6 addresses with Wi-Fi's IPv6 off"
tb_expect_eq "$(ip -6 route show default)" "" "IPv6 default route with Wi-Fi's IPv6 off"
tb_expect_lacks "$(/sbin/ifconfig en0)" "inet6" "ifconfig en0 with IPv6 off"
/usr/sbin/networksetup -setv6automatic Wi-Fi
tb_expect_contains "$(ip -6 -o addr show dev en0)" "inet6 $TB_MAC_ADDRESS6/64 scope global" "en0's address back"
tb_expect_contains "$(ip -6 route show default)" "via $TB_GATEWAY6 dev en0" "IPv6 default route back"
ping -6 -c 1 -W 2 "$TB_PUBLIC_ADDRESS6" >/dev/null || tb_fail "no IPv6 answer after -setv6automatic"
tb_checked
tb_expect_contains "$(tb_networksetup -getinfo Wi-Fi)" "IPv6 IP address: $TB_MAC_ADDRESS6" "getinfo shows the address"

tb_step "search domains"
tb_expect_eq "$(/usr/sbin/networksetup -getsearchdomains Wi-Fi)" "There aren't any Search Domains set on Wi-Fi." "no domains"
/usr/sbin/networksetup -setsearchdomains Wi-Fi corp.example lab.example
tb_expect_eq "$(/usr/sbin/networksetup -getsearchdomains Wi-Fi)" $'corp.example\nlab.example' "domains after set"
tb_expect_contains "$(tb_services_summary)" "Wi-Fi | none | Automatic | search corp.example,lab.example" "summary"
/usr/sbin/networksetup -setsearchdomains Wi-Fi Empty
tb_expect_eq "$(/usr/sbin/networksetup -getsearchdomains Wi-Fi)" "There aren't any Search Domains set on Wi-Fi." "domains after Empty"
tb_expect_eq "$(/usr/sbin/networksetup -getdnsservers "USB 10/100/1000 LAN")" $'192.0.2.53\n198.51.100.53' "other fields kept"

tb_step "the journal holds every call, in order"
tb_expect_eq "$(tb_journal)" '["/sbin/ifconfig","en0"]
["/sbin/ifconfig","en0"]
["/sbin/ifconfig","probe1","up"]
["/sbin/ifconfig","probe1","inet6","fd77::2","prefixlen","128","alias"]
["/sbin/ifconfig","probe1"]
["/sbin/ifconfig","probe1","inet6","fd77::2","-alias"]
["/sbin/ifconfig","probe1","inet6","fd77::zz","prefixlen","64","alias"]
["/sbin/ifconfig","probe1","inet6","fd77::2/128","alias"]
["/sbin/route","-q","-n","add","-inet6","::/1","-interface","probe1"]
["/sbin/route","-q","-n","add","-inet6","fd00:1::/64","2001:db8:200::2"]
["/sbin/route","-q","-n","add","-inet6","::/1","-interface","probe1"]
["/sbin/route","-q","-n","delete","-inet6","::/1","-interface","probe1"]
["/sbin/route","-q","-n","delete","-inet6","fd00:1::/64","2001:db8:200::2"]
["/sbin/route","-q","-n","add","-inet6","::/1","::1","-reject"]
["/sbin/route","-q","-n","add","-inet6","8000::/1","::1","-reject"]
["/sbin/route","-q","-n","delete","-inet6","::/1","::1"]
["/sbin/route","-q","-n","delete","-inet6","8000::/1","::1","-reject"]
["/sbin/route","-q","-n","delete","-inet6","::/1","::1"]
["/sbin/route","-q","-n","add","-inet","10.99.0.0/24","-interface","probe1"]
["/usr/sbin/networksetup","-setv6off","Wi-Fi"]
["/sbin/ifconfig","en0"]
["/usr/sbin/networksetup","-setv6automatic","Wi-Fi"]
["/usr/sbin/networksetup","-getsearchdomains","Wi-Fi"]
["/usr/sbin/networksetup","-setsearchdomains","Wi-Fi","corp.example","lab.example"]
["/usr/sbin/networksetup","-getsearchdomains","Wi-Fi"]
["/usr/sbin/networksetup","-setsearchdomains","Wi-Fi","Empty"]
["/usr/sbin/networksetup","-getsearchdomains","Wi-Fi"]
["/usr/sbin/networksetup","-getdnsservers","USB 10/100/1000 LAN"]' "journal"
