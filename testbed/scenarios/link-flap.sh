# The Mac's link drops and comes back while up (a lid closed and opened), with the VPN server
# behind the default gateway: the kernel takes the host route to the server with the link, the
# same default gateway returns, and the helper adds the host route again, so traffic through the
# tunnel goes on within moments of the default route's return.
# fault: the link drops and returns with the same gateway while up
tb_network_up
server=10.202.0.1
tb_server ip addr add "$server/32" dev lo
tb_client_config endpoint="$server:$TB_SERVER_PORT" >"$TB/behind.conf"
tb_start_helper
before=$(tb_services_summary)
server_route() { ip -4 route show "$server/32" | sed "s/ *$//"; }
# answered_within SECONDS: pings through the tunnel, 0.2 s each, until one is answered.
answered_within() {
  local deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))
  until ping -c 1 -W 0.2 "$TB_SERVER_TUNNEL_ADDRESS" >/dev/null 2>&1; do
    ((${EPOCHREALTIME/./} < deadline)) || return 1
  done
}

tb_step "zorvikctl start, the server $server behind the gateway"
tb_expect_eq "$(tb_ctl start "$TB/behind.conf")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$server"
tb_ping_server

tb_step "en0 goes down and comes back with the same default gateway"
tb_journal_reset
ip link set en0 down
tb_expect_eq "$(server_route)" "" "host route while en0 is down"
ip link set en0 up
ip route add default via "$TB_SERVER_ADDRESS" dev en0
back=$EPOCHREALTIME
# No traffic until the host route is back: until then the daemon's own packets to the server go
# into the tunnel itself and loop there; once they reach the server it may take the client's
# tunnel address for its endpoint and answer into its own tunnel until the next handshake
# (about 15 s here). That loop is between the two daemons; what the helper owes is the route.
host_route_back() { [ "$(server_route)" = "$server via $TB_SERVER_ADDRESS dev en0" ]; }
tb_wait_for 3 host_route_back ||
  tb_fail "the host route was not back 3 s after the default route (host route: [$(server_route)])"
tb_checked
tb_figure "host route back after the default route came back (s)" "$(tb_seconds_since "$back")"
answered_within 3 || tb_fail "no answer through the tunnel 3 s after the default route came back (host route: [$(server_route)])"
tb_figure "first answer after the default route came back (s)" "$(tb_seconds_since "$back")"
tb_expect_eq "$(grep -F '"/sbin/route","-q"' "$TB/journal")" \
  "[\"/sbin/route\",\"-q\",\"-n\",\"add\",\"-inet\",\"$server/32\",\"$TB_SERVER_ADDRESS\"]" \
  "route changes in the tool journal"
tb_expect_eq "$(grep -cF "маршрут к серверу восстановлен через $TB_SERVER_ADDRESS" "$TB_HELPER_LOG")" 1 \
  "records of the restored host route"
tb_ping_server 3
tb_expect_eq "$(tb_status_field active)" true "status after the flap"

tb_step "zorvikctl stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
tb_expect_eq "$(server_route)" "" "host route after stop"
