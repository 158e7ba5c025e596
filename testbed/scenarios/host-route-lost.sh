# A full tunnel whose host route to the server is deleted while up (by someone else, or a failed
# add), with the server behind the gateway as in link-flap: no route through utun covers the
# server, so the daemon's own packets take the normal routes, traffic through the tunnel goes on,
# and nothing loops: the daemon sends about what the pings need, not megabytes.
# fault: the host route to the server deleted while up
tb_network_up
server=10.202.0.1
tb_server ip addr add "$server/32" dev lo
tb_client_config endpoint="$server:$TB_SERVER_PORT" >"$TB/behind.conf"
tb_start_helper
before=$(tb_services_summary)
sent() { tb_status_field tx; }

tb_step "zorvikctl start, the server $server behind the gateway"
tb_expect_eq "$(tb_ctl start "$TB/behind.conf")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$server"
tb_expect_eq "$(tb_tunnel_routes_covering "$server")" "" "routes through utun that cover the server"
tb_ping_server

tb_step "the host route to $server is deleted"
was=$(sent)
ip route del "$server/32"
# A loop shows within moments (hundreds of MB a second); end it early rather than feed it.
sleep 0.5
(($(sent) - was < 65536)) || tb_fail "the daemon sent $(($(sent) - was)) bytes in 0.5 s without pings: its packets loop through the tunnel"
tb_expect_eq "$(tb_route_dev "$server")" en0 "device of the route to the server"
tb_expect_eq "$(tb_tunnel_routes_covering "$server")" "" "routes through utun that cover the server"

tb_step "ten pings through the tunnel"
answered=0
ping -c 10 -i 0.2 -W 2 "$TB_SERVER_TUNNEL_ADDRESS" >/dev/null || answered=$?
delta=$(($(sent) - was))
tb_figure "bytes the daemon sent for 10 pings without the host route" "$delta"
# A ping is one 128-byte data message; a handshake and keepalives add a few hundred bytes.
((delta <= 10 * 128 + 4096)) || tb_fail "the daemon sent $delta bytes for 10 pings: its packets loop"
tb_checked
tb_expect_eq "$answered" 0 "ping exit status without the host route"
tb_expect_eq "$(tb_status_field active)" true "status without the host route"

tb_step "zorvikctl stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
tb_expect_eq "$(ip -4 route show "$server/32")" "" "host route after stop"
