# A dual-stack tunnel: Address = 10.77.0.2/32, fd77::2/128 and AllowedIPs = 0.0.0.0/0, ::/0, with
# Wi-Fi's IPv6 Manual, so en0 keeps its own IPv6 default route. utun gets the IPv6 address, all of
# IPv6 goes through it (pings the server's daemon counts), none by en0; after stop IPv6 goes by
# en0 again.
tb_network_up
tb_server_tunnel_ipv6
{
  tb_service 1 "Wi-Fi" Manual "" en0
  tb_service 1 "USB 10/100/1000 LAN" Manual "192.0.2.53 198.51.100.53" en1
} >"$TB/services"
tb_client_config address="$TB_CLIENT_TUNNEL_ADDRESS/32, $TB_CLIENT_TUNNEL_ADDRESS6/128" \
  allowed="0.0.0.0/0, ::/0" >"$TB/dual.conf"
tb_start_helper
before=$(tb_services_summary)
received() { tb_server_transfer | cut -d' ' -f1; }

tb_step "zorvikctl start with an IPv4 and an IPv6 address"
tb_expect_eq "$(tb_ctl start "$TB/dual.conf")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
journal=$(tb_journal)
tb_expect_contains "$journal" "[\"/sbin/ifconfig\",\"utun\",\"inet6\",\"$TB_CLIENT_TUNNEL_ADDRESS6\",\"prefixlen\",\"128\",\"alias\"]" "IPv6 address call"
for range in ::/1 8000::/1; do
  tb_expect_contains "$journal" "[\"/sbin/route\",\"-q\",\"-n\",\"add\",\"-inet6\",\"$range\",\"-interface\",\"utun\"]" "route of $range"
done
tb_expect_lacks "$journal" '"-reject"' "reject routes (the tunnel carries all of IPv6)"
tb_expect_contains "$(ip -6 -o addr show dev utun)" "inet6 $TB_CLIENT_TUNNEL_ADDRESS6/128" "utun's IPv6 address"
for address in "$TB_PUBLIC_ADDRESS6" "$TB_SERVER_TUNNEL_ADDRESS6" 2606:4700::1111 fd00::1; do
  tb_expect_eq "$(tb_route_interface -inet6 "$address")" utun "route -n get -inet6 $address"
done
tb_expect_contains "$(ip -6 route show default)" "via $TB_GATEWAY6 dev en0" "en0's own IPv6 default route (Manual) while up"

tb_step "IPv6 and IPv4 pings through the tunnel"
for address in "$TB_SERVER_TUNNEL_ADDRESS6" "$TB_PUBLIC_ADDRESS6" "$TB_SERVER_TUNNEL_ADDRESS"; do
  was=$(received)
  ping -c 3 -i 0.2 -W 2 -s 1000 "$address" >/dev/null || tb_fail "no answer from $address through the tunnel"
  tb_checked
  now=$(received)
  tb_figure "bytes the server's daemon received for 3 pings to $address" "$((now - was))"
  ((now - was >= 3 * 1008)) || tb_fail "the server's daemon received $((now - was)) bytes for 3 pings to $address"
  tb_checked
done

tb_step "zorvikctl stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
tb_expect_eq "$(tb_route_interface -inet6 "$TB_PUBLIC_ADDRESS6")" en0 "route -n get -inet6 $TB_PUBLIC_ADDRESS6 after stop"
ping -6 -c 1 -W 2 "$TB_PUBLIC_ADDRESS6" >/dev/null || tb_fail "no IPv6 answer by en0 after stop"
tb_checked
