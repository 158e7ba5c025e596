# The Mac changes networks while the tunnel is up: the default route goes away, comes back on a
# second link, and the first link goes down. The host route to the server follows the gateway,
# traffic through the tunnel goes on, and stop deletes the route through the new gateway.
# fault: the default gateway moves to another link while up
tb_network_up
tb_second_link_add
tb_start_helper
before=$(tb_services_summary)
server_route() { ip -4 route show "$TB_SERVER_ADDRESS/32" | sed "s/ *$//"; }

tb_step "zorvikctl start over en0"
tb_expect_eq "$(tb_helper_route_watches)" 0 "route watches of the idle helper"
tb_expect_eq "$(tb_ctl start "$TB_CLIENT_CONFIG")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_expect_eq "$(tb_helper_route_watches)" 1 "route watches while up"
tb_ping_server

tb_step "the default route goes away"
no_gateway="нет маршрута по умолчанию вне туннеля, маршрут к серверу оставлен"
tb_journal_reset
ip route del default
tb_wait_for 5 grep -qF "$no_gateway" "$TB_HELPER_LOG" || tb_fail "no record of the missing default route"
tb_expect_eq "$(server_route)" "$TB_SERVER_ADDRESS via $TB_SERVER_ADDRESS dev en0" "host route without a default route"
tb_expect_lacks "$(tb_journal)" '"/sbin/route","-q"' "tool journal without a default route"

tb_step "the default route comes back on en1, then en0 goes down"
ip link set en1 up
ip route add default via "$TB_SECOND_GATEWAY" dev en1
moved_to_en1() { [ "$(server_route)" = "$TB_SERVER_ADDRESS via $TB_SECOND_GATEWAY dev en1" ]; }
moved=$EPOCHREALTIME
tb_wait_for 5 moved_to_en1 || tb_fail "the host route did not follow the gateway: [$(server_route)]"
tb_figure "host route moved after (s)" "$(tb_seconds_since "$moved")"
ip addr flush dev en0
ip link set en0 down
journal=$(tb_journal)
tb_expect_eq "$(grep -F '"/sbin/route","-q"' <<<"$journal")" \
  "[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet\",\"$TB_SERVER_ADDRESS/32\",\"$TB_SERVER_ADDRESS\"]
[\"/sbin/route\",\"-q\",\"-n\",\"add\",\"-inet\",\"$TB_SERVER_ADDRESS/32\",\"$TB_SECOND_GATEWAY\"]" \
  "route changes in the tool journal"
tb_expect_contains "$(tb_helper_log)" "шлюз сменился: $TB_SERVER_ADDRESS → $TB_SECOND_GATEWAY, маршрут к серверу перенесён" "helper log"
tb_expect_eq "$(grep -cF "$no_gateway" "$TB_HELPER_LOG")" 1 "records of the missing default route"

tb_step "ping $TB_SERVER_TUNNEL_ADDRESS through the tunnel over en1"
# The first answer within 10 s: the server may have to learn the client's new address first.
ping -c 1 -w 10 "$TB_SERVER_TUNNEL_ADDRESS" >/dev/null || tb_fail "no answer through the tunnel after the move"
tb_ping_server 3
tb_expect_eq "$(tb_status_field active)" true "status after the move"
tb_expect_eq "$(server_route)" "$TB_SERVER_ADDRESS via $TB_SECOND_GATEWAY dev en1" "host route after en0 went down"

tb_step "zorvikctl stop"
tb_journal_reset
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_eq "$(grep -F '"/sbin/route"' "$TB/journal" | grep -vF '"-inet6"')" \
  "[\"/sbin/route\",\"-q\",\"-n\",\"delete\",\"-inet\",\"$TB_SERVER_ADDRESS/32\",\"$TB_SECOND_GATEWAY\"]" \
  "IPv4 route calls of the stop"
tb_wait_for 5 tb_no_utun || tb_fail "utun still exists: the daemon was not terminated"
routes=$(ip -4 route show)
tb_expect_lacks "$routes" "$TB_SERVER_ADDRESS via" "routes after stop"
tb_expect_lacks "$routes" "0.0.0.0/1" "routes after stop"
tb_expect_contains "$routes" "default via $TB_SECOND_GATEWAY dev en1" "default route after stop"
tb_expect_eq "$(tb_services_summary)" "$before" "network services after stop"
tb_expect_eq "$(tb_status_field active)" false "status after stop"
tb_expect_eq "$(tb_helper_route_watches)" 0 "route watches after stop"
