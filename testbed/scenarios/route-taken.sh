# What the tunnel added taken away while it is up, the link staying up: the host route to the
# server and a route through utun are put back, each logged once; someone else's host route to
# the server is left alone and logged once; the tunnel interface taken down and renamed (the
# kernel drops its routes) ends the tunnel: status says down and the host is as before.
# fault: the host route, a tunnel route or the tunnel interface taken away while up
tb_network_up
server=10.202.0.1
tb_server ip addr add "$server/32" dev lo
tb_client_config endpoint="$server:$TB_SERVER_PORT" >"$TB/behind.conf"
tb_start_helper
before=$(tb_services_summary)
server_route() { ip -4 route show "$server/32" | sed "s/ *$//"; }
host_route_back() { [ "$(server_route)" = "$server via $TB_SERVER_ADDRESS dev en0" ]; }
# One of the routes around the server: the half of the IPv4 space without it.
tunnel_route=128.0.0.0/1
tunnel_route_back() { [ -n "$(ip -4 route show exact "$tunnel_route" dev utun)" ]; }

tb_step "zorvikctl start, the server $server behind the gateway"
tb_expect_eq "$(tb_ctl start "$TB/behind.conf")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$server"

tb_step "the host route to $server deleted: put back"
ip route del "$server/32"
gone=$EPOCHREALTIME
tb_wait_for 3 host_route_back || tb_fail "the host route was not back within 3 s: [$(server_route)]"
tb_figure "host route back after its delete (s)" "$(tb_seconds_since "$gone")"
tb_ping_server 2
tb_expect_eq "$(grep -cF "маршрут к серверу восстановлен через $TB_SERVER_ADDRESS" "$TB_HELPER_LOG")" 1 \
  "records of the restored host route"

tb_step "a tunnel route deleted: put back"
ip route del "$tunnel_route" dev utun
gone=$EPOCHREALTIME
tb_wait_for 3 tunnel_route_back || tb_fail "$tunnel_route was not back through utun within 3 s"
tb_figure "tunnel route back after its delete (s)" "$(tb_seconds_since "$gone")"
tb_expect_eq "$(tb_route_dev 128.0.0.1)" utun "route to 128.0.0.1"
tb_wait_for 3 grep -qF "маршруты туннеля восстановлены: 1 через utun" "$TB_HELPER_LOG" ||
  tb_fail "no record of the restored tunnel route"
tb_checked

tb_step "someone else's host route to $server: left alone, logged once"
# In one step, so the helper never sees the server without a host route.
ip route replace "$server/32" dev en0
tb_journal_reset
# Two more changes of the table: each one looked at, neither one acted on.
ip route add 192.0.2.0/24 via "$TB_SERVER_ADDRESS" dev en0
ip route del 192.0.2.0/24
sleep 1
ip route add 198.51.100.0/24 via "$TB_SERVER_ADDRESS" dev en0
ip route del 198.51.100.0/24
sleep 1
tb_expect_lacks "$(tb_journal)" "\"add\",\"-inet\",\"$server/32\"" "host route adds beside the other one"
tb_expect_eq "$(grep -cF "маршрут к серверу через en0 не наш, оставлен" "$TB_HELPER_LOG")" 1 \
  "records of the other host route"
tb_expect_eq "$(tb_status_field active)" true "status beside the other host route"
ip route del "$server/32"
tb_wait_for 3 host_route_back || tb_fail "the host route was not back within 3 s: [$(server_route)]"

tb_step "utun taken down and renamed: the tunnel ends"
# The follower looks at all 32 routes after each change; let it finish with the last one.
sleep 2
ip link set utun down
ip link set utun name utunx
gone=$EPOCHREALTIME
status_down() { [ "$(tb_status_field active)" = false ]; }
tb_wait_for 3 status_down || tb_fail "status still up 3 s after the interface went away"
tb_figure "status down after the interface went away (s)" "$(tb_seconds_since "$gone")"
tb_expect_eq "$(grep -cF "интерфейс туннеля пропал: utun, туннель опущен" "$TB_HELPER_LOG")" 1 \
  "records of the lost interface"
gone_utunx() { [ ! -e /sys/class/net/utunx ]; }
tb_wait_for 5 gone_utunx || tb_fail "utunx still exists: the daemon was not terminated"
tb_expect_torn_down "$before"
tb_expect_eq "$(server_route)" "" "host route after the tunnel ended"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop after the tunnel ended"
