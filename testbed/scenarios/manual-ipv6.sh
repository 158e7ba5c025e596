# An IPv4-only full tunnel on a Mac whose en0 service has Manual IPv6: the helper leaves the
# service alone, so en0 keeps its IPv6 address and default route, yet no IPv6 leaves by en0 while
# up: the kernel refuses it at once (a ping -6 fails with an error, it does not wait). After stop
# IPv6 goes by en0 as before.
tb_network_up
{
  tb_service 1 "Wi-Fi" Manual "" en0
  tb_service 1 "USB 10/100/1000 LAN" Automatic "192.0.2.53 198.51.100.53" en1
} >"$TB/services"
tb_start_helper
before=$(tb_services_summary)
ping -6 -c 1 -W 2 "$TB_PUBLIC_ADDRESS6" >/dev/null || tb_fail "no IPv6 answer by en0 before the tunnel"
tb_checked

tb_step "zorvikctl start (IPv4 only, AllowedIPs = 0.0.0.0/0)"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_ping_server
tb_expect_lacks "$(tb_journal)" '"-setv6off","Wi-Fi"' "journal (the Manual service untouched)"
tb_expect_contains "$(ip -6 -o addr show dev en0)" "inet6 $TB_MAC_ADDRESS6/64" "en0's IPv6 address while up"

tb_step "no IPv6 leaves by en0"
for address in "$TB_PUBLIC_ADDRESS6" 2606:4700::1111 fd00::1 3fff::1; do
  tb_expect_eq "$(tb_route_dev "$address")" "" "device of the route to $address"
  tb_expect_lacks "$(tb_route_interface -inet6 "$address")" en0 "route -n get -inet6 $address"
done
status=0
ip -6 route get "$TB_PUBLIC_ADDRESS6" >"$TB/get.out" 2>&1 || status=$?
tb_expect_eq "$status" 2 "ip -6 route get $TB_PUBLIC_ADDRESS6 exit status (output: $(<"$TB/get.out"))"
status=0
ping -6 -c 1 -W 5 "$TB_PUBLIC_ADDRESS6" >"$TB/ping.out" 2>&1 || status=$?
tb_expect_eq "$status" 2 "ping -6 exit status while up (output: $(<"$TB/ping.out"))"
tb_expect_contains "$(<"$TB/ping.out")" "connect: " "ping -6 refused by the kernel"

tb_step "zorvikctl stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
tb_expect_eq "$(ip -6 route show type unreachable)" "" "reject routes after stop"
tb_expect_eq "$(tb_route_interface -inet6 "$TB_PUBLIC_ADDRESS6")" en0 "route -n get -inet6 after stop"
ping -6 -c 1 -W 2 "$TB_PUBLIC_ADDRESS6" >/dev/null || tb_fail "no IPv6 answer by en0 after stop"
tb_checked
