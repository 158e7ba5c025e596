# The real daemon under the macOS daemon's contract, driven by hand: interface name file, socket
# in /var/run/amneziawg, a working tunnel to the server, and an orderly exit on SIGTERM.
tb_network_up

tb_step "amneziawg-go utun writes its interface name and makes its socket in /var/run/amneziawg"
name_file=/var/run/amneziawg/zorvik.name
WG_TUN_NAME_FILE=$name_file WG_PROCESS_FOREGROUND=1 LOG_LEVEL=error \
  "$TB_HELPERS/amneziawg-go" utun </dev/null >>"$TB/daemon.out" 2>&1 &
daemon=$!
tb_wait_for 6 test -s "$name_file" || tb_fail "no interface name in $name_file"
tb_expect_eq "$(<"$name_file")" utun "interface name"
tb_wait_for 8 test -S /var/run/amneziawg/utun.sock || tb_fail "no socket in /var/run/amneziawg"

tb_step "the tunnel carries a ping to the server"
# wg finds the socket where the daemon's own mount namespace puts it.
nsenter -t "$daemon" -m -r -w -- wg set utun private-key "$TB/client.key" \
  peer "$TB_SERVER_PUBLIC" endpoint "$TB_SERVER_ADDRESS:$TB_SERVER_PORT" allowed-ips 0.0.0.0/0
/sbin/ifconfig utun inet 10.77.0.2 10.77.0.2 alias
/sbin/ifconfig utun up
/sbin/route -q -n add -inet 0.0.0.0/1 -interface utun
ping -c 2 -W 2 "$TB_SERVER_TUNNEL_ADDRESS" >/dev/null || tb_fail "no answer through the tunnel"
read -r received sent <<<"$(tb_server_transfer)"
((received > 0 && sent > 0)) || tb_fail "the server counted no traffic: $received/$sent"

tb_step "SIGTERM ends the daemon with status 0 and takes interface and socket with it"
kill -TERM "$daemon"
status=0
wait "$daemon" || status=$?
tb_expect_eq "$status" 0 "exit status"
[ ! -e /var/run/amneziawg/utun.sock ] || tb_fail "the socket outlived the daemon"
[ ! -e /sys/class/net/utun ] || tb_fail "the interface outlived the daemon"
