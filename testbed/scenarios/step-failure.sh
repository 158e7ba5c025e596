# Each step a tunnel cannot work without fails once, as a tool can (a planned failure), or meets
# another program's route already there: the start fails naming the step, and the host is as
# before: no utun, no route of the tunnel, every service's DNS and IPv6 its own.
# fault: a failed interface, route, reject route or DNS step on the way up
tb_network_up
tb_start_helper
before=$(tb_services_summary)
routes_before=$(ip -4 route show; ip -6 route show)
planned=0
# The call written to fail-once was made (the stand-in removes the file when it fails it).
tb_expect_failure_reached() {
  [ ! -e "$TB/fail-once" ] || tb_fail "the planned failure was never reached"
  planned=$((planned + 1))
}
tb_expect_as_before() {
  tb_expect_torn_down "$before"
  tb_expect_eq "$(ip -4 route show; ip -6 route show)" "$routes_before" "routes after the failed start"
}
# The full tunnel's first route: the half of the IPv4 space without the server.
first_route=128.0.0.0/1

while IFS='|' read -r what record error; do
  tb_step "start with a failing step: $what"
  printf '%s\n' "$record" >"$TB/fail-once"
  tb_start_fails "$TB_CLIENT_CONFIG" "$error"
  tb_expect_failure_reached
  tb_expect_as_before
done <<STEPS
interface up|["/sbin/ifconfig","utun","up"]|интерфейс не поднят: utun
tunnel route|["/sbin/route","-q","-n","add","-inet","$first_route","-interface","utun"]|маршрут не добавлен: $first_route
reject route|["/sbin/route","-q","-n","add","-inet6","::/1","::1","-reject"]|запрещающий маршрут не добавлен: ::/1
DNS of Wi-Fi|["/usr/sbin/networksetup","-setdnsservers","Wi-Fi","$TB_SERVER_TUNNEL_ADDRESS"]|DNS не установлен: Wi-Fi
DNS of the USB LAN|["/usr/sbin/networksetup","-setdnsservers","USB 10/100/1000 LAN","$TB_SERVER_TUNNEL_ADDRESS"]|DNS не установлен: USB 10/100/1000 LAN
STEPS

tb_step "another program's $first_route through en0 already there"
ip route add "$first_route" via "$TB_SERVER_ADDRESS" dev en0
tb_start_fails "$TB_CLIENT_CONFIG" "маршрут не добавлен: $first_route"
tb_expect_contains "$(ip -4 route show "$first_route")" "$first_route via $TB_SERVER_ADDRESS dev en0" \
  "the other program's route, left alone"
ip route del "$first_route"
tb_expect_as_before

tb_step "then a start that meets no failure is up"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_ping_server 2
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_as_before
tb_figure "planned failures reached" "$planned"
