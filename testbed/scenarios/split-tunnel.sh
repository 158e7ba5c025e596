# A split tunnel: AllowedIPs = 10.77.0.0/24 and a second private network of the server's,
# 172.20.0.0/24. Both go through utun (route -n get, and pings the server's daemon counts); every
# other address, the server's own among them, goes by en0 as before, and the daemon counts none
# of that traffic. Stop takes the ranges' routes with the interface.
tb_network_up
second=172.20.0.1
tb_server ip addr add "$second/32" dev lo
tb_client_config allowed="10.77.0.0/24, 172.20.0.0/24" >"$TB/split.conf"
tb_start_helper
before=$(tb_services_summary)
received() { tb_server_transfer | cut -d' ' -f1; }
# pings ADDRESS: three pings of 1000 bytes, all answered.
pings() {
  ping -c 3 -i 0.2 -W 2 -s 1000 "$1" >/dev/null || tb_fail "no answer from $1"
  tb_checked
}

tb_step "zorvikctl start with AllowedIPs = 10.77.0.0/24, 172.20.0.0/24"
tb_expect_eq "$(tb_ctl start "$TB/split.conf")" "tunnel started" "zorvikctl start"
journal=$(tb_journal)
for range in 10.77.0.0/24 172.20.0.0/24; do
  tb_expect_contains "$journal" "[\"/sbin/route\",\"-q\",\"-n\",\"add\",\"-inet\",\"$range\",\"-interface\",\"utun\"]" "route of $range"
done
for address in "$TB_SERVER_TUNNEL_ADDRESS" 10.77.0.200 "$second" 172.20.0.254; do
  tb_expect_eq "$(tb_route_interface "$address")" utun "route -n get $address"
done
for address in "$TB_SERVER_ADDRESS" 10.78.0.1 172.21.0.1 198.51.100.1 8.8.8.8; do
  tb_expect_eq "$(tb_route_interface "$address")" en0 "route -n get $address"
done
tb_expect_contains "$(ip -4 route show)" "default via $TB_SERVER_ADDRESS dev en0" "default route while up"

tb_step "pings to both ranges go through the tunnel"
for address in "$TB_SERVER_TUNNEL_ADDRESS" "$second"; do
  was=$(received)
  pings "$address"
  now=$(received)
  tb_figure "bytes the server's daemon received for 3 pings to $address" "$((now - was))"
  ((now - was >= 3 * 1028)) || tb_fail "the server's daemon received $((now - was)) bytes for 3 pings of 1028 bytes to $address"
  tb_checked
done

tb_step "a ping outside the ranges goes by en0"
was=$(received)
pings "$TB_SERVER_ADDRESS"
now=$(received)
tb_figure "bytes the server's daemon received for 3 pings outside the ranges" "$((now - was))"
# At most a keepalive or a handshake meanwhile, far below one ping's 1028 bytes.
((now - was < 1028)) || tb_fail "the server's daemon received $((now - was)) bytes for pings outside the tunnel"
tb_checked

tb_step "network services while up"
tb_expect_services_tunneled

tb_step "zorvikctl stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
tb_expect_eq "$(tb_route_interface "$second")" en0 "route -n get $second after stop"
