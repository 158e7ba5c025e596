# The "exclude private addresses" AllowedIPs that WireGuard apps generate: 30 IPv4 ranges around
# the private and reserved ones, and ::/0. Each range is routed through utun; a public address
# goes through the tunnel (a ping the server's daemon counts), a private one and the server's own
# address do not, and IPv6, which the configuration gives no address, leaves nowhere.
tb_network_up
public=203.0.113.1
tb_server ip addr add "$public/32" dev lo
ranges=$(tb_exclude_private_ranges)
tb_client_config allowed="$ranges, ::/0" >"$TB/exclude.conf"
tb_start_helper
before=$(tb_services_summary)
received() { tb_server_transfer | cut -d' ' -f1; }

tb_step "zorvikctl start with 30 IPv4 ranges and ::/0"
tb_expect_eq "$(tb_ctl start "$TB/exclude.conf")" "tunnel started" "zorvikctl start"
expected=
for range in ${ranges//,/}; do
  expected+="[\"/sbin/route\",\"-q\",\"-n\",\"add\",\"-inet\",\"$range\",\"-interface\",\"utun\"]"$'\n'
done
tb_expect_eq "$(grep -F -- '"-interface","utun"]' "$TB/journal" || true)" "${expected%$'\n'}" "the ranges' routes, in order"
tb_figure "routes through utun" "$(grep -cF -- '"-interface","utun"]' "$TB/journal" || true)"
for address in "$public" 1.1.1.1 8.8.8.8 198.51.100.1; do
  tb_expect_eq "$(tb_route_interface "$address")" utun "route -n get $address"
done
for address in "$TB_SERVER_ADDRESS" 10.1.2.3 172.16.5.5 192.168.7.1; do
  tb_expect_eq "$(tb_route_interface "$address")" en0 "route -n get $address"
done

tb_step "a public address through the tunnel, a private one outside it"
was=$(received)
ping -c 3 -i 0.2 -W 2 -s 1000 "$public" >/dev/null || tb_fail "no answer from $public through the tunnel"
tb_checked
now=$(received)
tb_figure "bytes the server's daemon received for 3 pings to $public" "$((now - was))"
((now - was >= 3 * 1028)) || tb_fail "the server's daemon received $((now - was)) bytes for 3 pings to $public"
tb_checked
was=$(received)
ping -c 3 -i 0.2 -W 2 -s 1000 "$TB_SERVER_ADDRESS" >/dev/null || tb_fail "no answer from $TB_SERVER_ADDRESS by en0"
tb_checked
now=$(received)
((now - was < 1028)) || tb_fail "the server's daemon received $((now - was)) bytes for pings to a private address"
tb_checked

tb_step "IPv6 leaves nowhere"
tb_expect_eq "$(tb_route_dev "$TB_PUBLIC_ADDRESS6")" "" "device of the route to $TB_PUBLIC_ADDRESS6"
status=0
ping -6 -c 1 -W 5 "$TB_PUBLIC_ADDRESS6" >"$TB/ping.out" 2>&1 || status=$?
tb_expect_eq "$status" 2 "ping -6 exit status while up (output: $(<"$TB/ping.out"))"

tb_step "zorvikctl stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
tb_expect_eq "$(ip -6 route show type unreachable)" "" "reject routes after stop"
tb_expect_eq "$(tb_route_interface "$public")" en0 "route -n get $public after stop"
ping -6 -c 1 -W 2 "$TB_PUBLIC_ADDRESS6" >/dev/null || tb_fail "no IPv6 answer by en0 after stop"
tb_checked
