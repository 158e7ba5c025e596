# Functions for scenarios on the simulated Mac: the network with its VPN server, the helper and
# its client, the macOS tools' state and journal, and checks that end the scenario on failure.

TB=/run/testbed
TB_HELPERS=/Library/PrivilegedHelperTools
TB_HELPER_SOCKET=/var/run/com.zorvik.vpn.helper.sock
TB_HELPER_LOG=/Library/Logs/ZorvikVPN-helper.log
TB_DAEMON_LOG=/Library/Logs/ZorvikVPN-awg.log
TB_CLIENT_CONFIG=$TB/client.conf
TB_SERVER_ADDRESS=10.200.0.2
TB_SERVER_TUNNEL_ADDRESS=10.77.0.1
TB_CLIENT_TUNNEL_ADDRESS=10.77.0.2
TB_SERVER_PORT=51820
TB_SECOND_GATEWAY=10.201.0.2
# IPv6 (documentation and unique-local addresses): en0's global address and its router, the
# server's side of en0's link; a "public" host on the server's loopback; the tunnel's addresses
# once tb_server_tunnel_ipv6 has given the server's wg0 one.
TB_MAC_ADDRESS6=2001:db8:200::1
TB_GATEWAY6=2001:db8:200::2
TB_PUBLIC_ADDRESS6=2001:db8:ffff::1
TB_SERVER_TUNNEL_ADDRESS6=fd77::1
TB_CLIENT_TUNNEL_ADDRESS6=fd77::2
TB_SERVER_PID=
TB_HELPER_PID=

# --- progress and checks ---------------------------------------------------------------------

# Bold on a terminal, plain in logs.
tb_step() {
  if [ -t 1 ]; then printf '\033[1m==> %s\033[0m\n' "$*"; else printf '==> %s\n' "$*"; fi
}
# Each argument indented, on lines of its own.
tb_note() {
  local text
  for text in "$@"; do sed "s/^/    /" <<<"$text"; done
}

tb_fail() {
  printf 'FAIL: %s\n' "$*" >&2
  exit 1
}

tb_on_error() {
  printf 'FAIL: %s: %s exited with an error\n' "$1" "$2" >&2
}

# Counts a check that held, for the run's figures (a file, since checks run in subshells too).
tb_checked() { echo >>"$TB/checks"; }

# tb_figure NAME VALUE: a figure of this run, reported by testbed/run --figures.
tb_figure() { printf '%s\t%s\n' "$1" "$2" >>"$TB/figures"; }

# tb_seconds_since EPOCHREALTIME: the seconds since then, to a hundredth.
tb_seconds_since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }'; }

tb_expect_eq() { # ACTUAL EXPECTED WHAT
  [ "$1" = "$2" ] || tb_fail "$3: expected [$2], got [$1]"
  tb_checked
}

tb_expect_contains() { # TEXT PART WHAT
  [[ $1 == *"$2"* ]] || tb_fail "$3: expected to contain [$2], got [$1]"
  tb_checked
}

tb_expect_lacks() { # TEXT PART WHAT
  [[ $1 != *"$2"* ]] || tb_fail "$3: expected not to contain [$2], got [$1]"
  tb_checked
}

# tb_wait_for SECONDS COMMAND...: polls until COMMAND succeeds; fails when the time is up.
tb_wait_for() {
  local limit=$1 tries
  shift
  for ((tries = limit * 20; tries > 0; tries--)); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}

tb_begin() {
  # Namespace identities, so the host side can check that nothing of them outlives the run.
  readlink /proc/self/ns/net /proc/self/ns/mnt /proc/self/ns/pid >"$TB/namespaces"
  ip link set lo up
  tb_services_default
}

tb_finish() {
  local status=$?
  trap - ERR
  if [ "$status" -ne 0 ]; then
    tb_dump_diagnostics >&2
  fi
  if [ -d "$TB/keep" ]; then
    printf 'checks\t%s\n' "$(wc -l <"$TB/checks" 2>/dev/null || echo 0)" >>"$TB/figures"
    cp "$TB/figures" "$TB/keep/figures" 2>/dev/null || true
    cp -r "$TB/journal" "$TB/namespaces" "$TB/services" "$TB/keep/" 2>/dev/null || true
    cp -r /Library/Logs/. "$TB/keep/" 2>/dev/null || true
    [ -f "$TB/helper.out" ] && cp "$TB/helper.out" "$TB/keep/"
  fi
  if [ "$status" -eq 0 ]; then
    printf 'PASS: %s\n' "$TB_SCENARIO"
  else
    printf 'FAIL: %s (status %s)\n' "$TB_SCENARIO" "$status" >&2
  fi
  exit "$status"
}

tb_dump_diagnostics() {
  local file
  for file in "$TB/journal" "$TB_HELPER_LOG" "$TB/helper.out" "$TB_DAEMON_LOG" "$TB/server.log"; do
    [ -s "$file" ] || continue
    echo "--- $file (last 40 lines)"
    tail -n 40 "$file"
  done
  echo "--- routes"
  ip -4 route show || true
  ip -6 route show || true
}

# --- the network and its VPN server ----------------------------------------------------------

# Runs a command in the server's network and mount namespaces, under the same root directory.
tb_server() { nsenter -t "$TB_SERVER_PID" -n -m -r -w -- "$@"; }

# Brings up "en0" (10.200.0.1/30) with its default route through the server's side
# (10.200.0.2), and the server's wireguard-go on wg0 (10.77.0.1/24, port 51820) that accepts the
# client's key. Keys are new each run; the client configuration goes to $TB_CLIENT_CONFIG.
# en0 also gets 2001:db8:200::1/64 and an IPv6 default route via 2001:db8:200::2, what its
# network offers it (/run/testbed/autoconf/en0, where networksetup -setv6automatic finds it);
# the server answers for 2001:db8:ffff::1 on its loopback and forwards nothing.
tb_network_up() {
  unshare --net --mount --propagation private -- sleep infinity </dev/null >/dev/null 2>&1 &
  TB_SERVER_PID=$!
  local own_net
  own_net=$(readlink /proc/self/ns/net)
  tb_wait_for 5 tb_is_separate_net "$own_net" || tb_fail "the server namespace did not appear"
  # No duplicate address detection on either side, so every IPv6 address is usable at once.
  tb_no_dad
  tb_server bash -c "$(declare -f tb_no_dad); tb_no_dad"

  ip link add en0 type veth peer name eth0 netns "$TB_SERVER_PID"
  ip addr add 10.200.0.1/30 dev en0
  ip link set en0 up
  ip route add default via "$TB_SERVER_ADDRESS" dev en0
  tb_server ip link set lo up
  tb_server ip addr add "$TB_SERVER_ADDRESS/30" dev eth0
  tb_server ip link set eth0 up
  tb_server ip addr add "$TB_GATEWAY6/64" dev eth0 nodad
  tb_server ip addr add "$TB_PUBLIC_ADDRESS6/128" dev lo
  mkdir -p "$TB/autoconf"
  printf '%s/64 %s\n' "$TB_MAC_ADDRESS6" "$TB_GATEWAY6" >"$TB/autoconf/en0"
  ip addr add "$TB_MAC_ADDRESS6/64" dev en0 nodad
  ip -6 route add default via "$TB_GATEWAY6" dev en0

  umask 077
  wg genkey >"$TB/server.key"
  wg genkey >"$TB/client.key"
  umask 022
  TB_SERVER_PUBLIC=$(wg pubkey <"$TB/server.key")
  TB_CLIENT_PRIVATE=$(<"$TB/client.key")
  TB_CLIENT_PUBLIC=$(wg pubkey <"$TB/client.key")

  # The server's daemon keeps its socket in a /run/wireguard of its own mount namespace.
  mkdir -p /run/wireguard
  tb_server mount -t tmpfs -o mode=0755 server-wireguard /run/wireguard
  WG_PROCESS_FOREGROUND=1 tb_server wireguard-go wg0 </dev/null >>"$TB/server.log" 2>&1 &
  tb_wait_for 5 tb_server test -S /run/wireguard/wg0.sock || tb_fail "the server's wireguard-go made no socket"
  tb_server wg set wg0 listen-port "$TB_SERVER_PORT" private-key "$TB/server.key" \
    peer "$TB_CLIENT_PUBLIC" allowed-ips "$TB_CLIENT_TUNNEL_ADDRESS/32"
  tb_server ip addr add "$TB_SERVER_TUNNEL_ADDRESS/24" dev wg0
  tb_server ip link set wg0 up
  tb_client_config >"$TB_CLIENT_CONFIG"
}

tb_no_dad() {
  local conf
  for conf in all default; do
    echo 0 >"/proc/sys/net/ipv6/conf/$conf/accept_dad"
    echo 0 >"/proc/sys/net/ipv6/conf/$conf/accept_ra"
  done
}

# The server's wg0 also carries IPv6: fd77::1/64, and the client's peer may send from fd77::2, for
# a dual-stack client configuration (Address = 10.77.0.2/32, fd77::2/128).
tb_server_tunnel_ipv6() {
  tb_server ip addr add "$TB_SERVER_TUNNEL_ADDRESS6/64" dev wg0 nodad
  tb_server wg set wg0 peer "$TB_CLIENT_PUBLIC" \
    allowed-ips "$TB_CLIENT_TUNNEL_ADDRESS/32,$TB_CLIENT_TUNNEL_ADDRESS6/128"
}

# A second network of the Mac: "en1" (10.201.0.1/30), down, joined to the server's "eth1"
# (10.201.0.2/30); the server answers on it for every address of its own, so it is reachable
# through either link. Call after tb_network_up; "ip link set en1 up" plugs it in.
tb_second_link_add() {
  ip link add en1 type veth peer name eth1 netns "$TB_SERVER_PID"
  ip addr add 10.201.0.1/30 dev en1
  tb_server ip addr add "$TB_SECOND_GATEWAY/30" dev eth1
  tb_server ip link set eth1 up
}

tb_is_separate_net() { [ "$(readlink "/proc/$TB_SERVER_PID/ns/net" 2>/dev/null)" != "$1" ]; }

# Prints a client configuration for the server. Optional overrides:
#   address=TEXT  endpoint=HOST:PORT  dns=TEXT  allowed=TEXT  extra=LINES (added to [Interface])
# shellcheck disable=SC2120 # scenarios pass the overrides
tb_client_config() {
  local endpoint=$TB_SERVER_ADDRESS:$TB_SERVER_PORT dns=$TB_SERVER_TUNNEL_ADDRESS allowed=0.0.0.0/0 extra=
  local address=$TB_CLIENT_TUNNEL_ADDRESS/32 setting
  for setting in "$@"; do
    case $setting in
      address=*) address=${setting#*=} ;;
      endpoint=*) endpoint=${setting#*=} ;;
      dns=*) dns=${setting#*=} ;;
      allowed=*) allowed=${setting#*=} ;;
      extra=*) extra=${setting#*=} ;;
      *) tb_fail "tb_client_config: unknown setting $setting" ;;
    esac
  done
  cat <<CONFIG
[Interface]
PrivateKey = $TB_CLIENT_PRIVATE
Address = $address
DNS = $dns
MTU = 1380
${extra}
[Peer]
PublicKey = $TB_SERVER_PUBLIC
Endpoint = $endpoint
AllowedIPs = $allowed
PersistentKeepalive = 25
CONFIG
}

# The "exclude private addresses" AllowedIPs that WireGuard apps generate: 30 IPv4 ranges around
# the private and reserved ones (the apps add ::/0).
tb_exclude_private_ranges() {
  echo "0.0.0.0/5, 8.0.0.0/7, 11.0.0.0/8, 12.0.0.0/6, 16.0.0.0/4, 32.0.0.0/3, 64.0.0.0/2, \
128.0.0.0/3, 160.0.0.0/5, 168.0.0.0/6, 172.0.0.0/12, 172.32.0.0/11, 172.64.0.0/10, \
172.128.0.0/9, 173.0.0.0/8, 174.0.0.0/7, 176.0.0.0/4, 192.0.0.0/9, 192.128.0.0/11, \
192.160.0.0/13, 192.169.0.0/16, 192.170.0.0/15, 192.172.0.0/14, 192.176.0.0/12, \
192.192.0.0/10, 193.0.0.0/8, 194.0.0.0/7, 196.0.0.0/6, 200.0.0.0/5, 208.0.0.0/4"
}

# Server-side counters of the client peer: "received sent".
tb_server_transfer() { tb_server wg show wg0 transfer | awk '{print $2, $3}'; }

# --- the macOS tools' state ------------------------------------------------------------------

# The network services of a typical Mac: Wi-Fi on en0 with DHCP DNS and automatic IPv6, a USB
# LAN on en1 with two DNS servers of its own and manual IPv6, a disabled Bluetooth PAN, a
# Thunderbolt Bridge with IPv6 off (the file's fields: tools/networksetup).
tb_services_default() {
  {
    tb_service 1 "Wi-Fi" Automatic "" en0
    tb_service 1 "USB 10/100/1000 LAN" Manual "192.0.2.53 198.51.100.53" en1
    tb_service 0 "Bluetooth PAN" Automatic "" en2
    tb_service 1 "Thunderbolt Bridge" Off "" bridge0
  } >"$TB/services"
}

# tb_service ENABLED NAME IPV6 DNS [DEVICE [SEARCH_DOMAINS [FLAGS [PORT]]]]: one line of the
# services file.
tb_service() {
  local line
  printf -v line '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s' "$1" "$2" "$3" "$4" "${7:-}" "${5:-}" "${6:-}" "${8:-}"
  while [[ $line == *$'\t' ]]; do line=${line%$'\t'}; done
  printf '%s\n' "$line"
}

# networksetup without a journal record: the testbed looking, not the helper acting.
tb_networksetup() { TESTBED_NO_JOURNAL=1 /usr/sbin/networksetup "$@"; }

# One line per service: name | DNS servers (comma-separated, or "none") | IPv6 mode, and
# " | search DOMAIN,..." for a service that has search domains.
tb_services_summary() {
  local name dns info domains
  while IFS= read -r name; do
    name=${name#\*}
    dns=$(tb_networksetup -getdnsservers "$name")
    [[ $dns == "There aren't any"* ]] && dns=none
    info=$(tb_networksetup -getinfo "$name" | sed -n 's/^IPv6: //p')
    domains=$(tb_networksetup -getsearchdomains "$name")
    printf '%s | %s | %s' "$name" "${dns//$'\n'/,}" "$info"
    [[ $domains == "There aren't any"* ]] || printf ' | search %s' "${domains//$'\n'/,}"
    printf '\n'
  done < <(tb_networksetup -listallnetworkservices | tail -n +2)
}

tb_journal() { cat "$TB/journal"; }
tb_journal_reset() { : >"$TB/journal"; }

# --- the helper and its client ---------------------------------------------------------------

# tb_use_daemon real|fake: which amneziawg-go sits beside the helper.
tb_use_daemon() {
  [ -x "$TB/daemons/$1" ] || tb_fail "no $1 daemon in this build"
  install -m 0755 "$TB/daemons/$1" "$TB_HELPERS/amneziawg-go"
}

# tb_start_helper [NAME=VALUE...]: starts the helper, as launchd would, with a minimal
# environment plus the given entries, and waits for its socket.
tb_start_helper() {
  [ -x "$TB_HELPERS/zorvik-helper" ] || tb_fail "no zorvik-helper in this build"
  # FAKE_AWG_LINK: the fake daemon makes its interface, as the real one does; the real one
  # ignores it.
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin FAKE_AWG_LINK=1 "$@" "$TB_HELPERS/zorvik-helper" \
    </dev/null >>"$TB/helper.out" 2>&1 &
  TB_HELPER_PID=$!
  if ! tb_wait_for 5 test -S "$TB_HELPER_SOCKET"; then
    kill -0 "$TB_HELPER_PID" 2>/dev/null || tb_fail "the helper exited: $(tail -n 5 "$TB/helper.out")"
    tb_fail "the helper opened no socket at $TB_HELPER_SOCKET"
  fi
}

tb_ctl() { "$TB_HELPERS/zorvikctl" "$@"; }

# Waits until the helper answers a request. Its socket exists from bind(), before a journal's
# replay; clients are served only after it, so an answer means the replay is done.
tb_wait_until_served() {
  [ "$(tb_ctl version)" = 1 ] || tb_fail "the helper does not answer"
}

# The value of one field of the status reply ("active", "rx" or "tx").
tb_status_field() {
  local json
  json=$(tb_ctl status --json)
  sed -n "s/.*\"$1\":\([a-z0-9]*\).*/\1/p" <<<"$json"
}

# How many routing-table watches the helper holds: its netlink sockets subscribed to link and
# IPv4 and IPv6 route changes (groups RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE).
tb_helper_route_watches() {
  local inodes
  inodes=$(find "/proc/$TB_HELPER_PID/fd" -lname 'socket:*' -printf '%l\n' 2>/dev/null |
    sed 's/^socket:\[\(.*\)\]$/\1/' | tr '\n' ' ')
  awk -v inodes="$inodes" 'BEGIN { n = split(inodes, list, " "); for (i = 1; i <= n; i++) own[list[i]] = 1 }
    NR > 1 && $2 == 0 && $4 == "00000441" && ($10 in own) { count++ }
    END { print count + 0 }' /proc/net/netlink
}

tb_helper_log() { cat "$TB_HELPER_LOG" 2>/dev/null || true; }

# The helper log's messages, without their timestamps, with every daemon pid as "pid=N"; fails
# when a record lacks the "[YYYY-MM-DD hh:mm:ss +0000] " stamp.
tb_helper_log_messages() {
  local line
  while IFS= read -r line; do
    [[ $line =~ ^\[[0-9]{4}-[0-9]{2}-[0-9]{2}\ [0-9]{2}:[0-9]{2}:[0-9]{2}\ \+0000\]\ (.*)$ ]] ||
      tb_fail "helper log record without a UTC timestamp: [$line]"
    sed -E 's/pid=[0-9]+/pid=N/' <<<"${BASH_REMATCH[1]}"
  done < <(tb_helper_log)
}

# --- checks of the tunnel's effects ----------------------------------------------------------

# tb_route_dev ADDRESS: the device the kernel sends a packet to ADDRESS through (IPv4 or IPv6).
tb_route_dev() { { ip route get "$1" 2>/dev/null || true; } | sed -n 's/.* dev \([^ ]*\).*/\1/p' | head -n 1; }

# tb_route_get [-inet6] ADDRESS: what route -n get prints, without a journal record.
tb_route_get() { TESTBED_NO_JOURNAL=1 /sbin/route -n get "$@"; }
tb_route_interface() { { tb_route_get "$@" 2>/dev/null || true; } | sed -n 's/^  interface: //p'; }

# Routes through utun that contain ADDRESS (IPv4).
tb_tunnel_routes_covering() { ip -4 route show match "$1" dev utun; }

# A full tunnel: public addresses across the IPv4 space go through utun, whichever routes carry
# them; the server's own address goes by its host route.
tb_expect_tunnel_up() { # ENDPOINT_IP
  local routes address
  routes=$(ip -4 route show)
  for address in 1.1.1.1 100.64.0.1 128.0.0.1 198.18.0.1 198.51.100.1 223.255.255.1; do
    tb_expect_eq "$(tb_route_dev "$address")" utun "route to $address while up"
  done
  tb_expect_eq "$(tb_route_dev "$1")" en0 "route to the server while up"
  tb_expect_contains "$routes" "$1 via $TB_SERVER_ADDRESS dev en0" "host route to the server while up"
  tb_expect_contains "$routes" "default via $TB_SERVER_ADDRESS dev en0" "default route while up"
  tb_expect_contains "$(ip -4 -o addr show dev utun)" "inet $TB_CLIENT_TUNNEL_ADDRESS" "utun address"
  tb_expect_eq "$(</sys/class/net/utun/mtu)" 1380 "utun MTU"
  tb_expect_contains "$(ip -o link show dev utun)" ",UP" "utun state"
}

# The default services while a tunnel whose DNS is the server's tunnel address is up: that
# server on every enabled service, automatic IPv6 off, the rest as it was.
tb_expect_services_tunneled() {
  tb_expect_eq "$(tb_services_summary)" "Wi-Fi | $TB_SERVER_TUNNEL_ADDRESS | Off
USB 10/100/1000 LAN | $TB_SERVER_TUNNEL_ADDRESS | Manual
Bluetooth PAN | none | Automatic
Thunderbolt Bridge | $TB_SERVER_TUNNEL_ADDRESS | Off" "services while up"
}

tb_ping_server() {
  ping -c "${1:-2}" -i 0.2 -W 2 "$TB_SERVER_TUNNEL_ADDRESS" >/dev/null ||
    tb_fail "no answer from $TB_SERVER_TUNNEL_ADDRESS through the tunnel"
}

tb_no_utun() { [ ! -e /sys/class/net/utun ]; }

# After a stop or a failed start: the daemon gone with its interface and routes, the host route
# gone, the default route kept, every service as it was ($1: tb_services_summary from before).
tb_expect_torn_down() {
  tb_wait_for 5 tb_no_utun || tb_fail "utun still exists: the daemon was not terminated"
  local routes
  routes=$(ip -4 route show)
  tb_expect_lacks "$routes" "$TB_SERVER_ADDRESS via" "routes after teardown"
  tb_expect_lacks "$routes" "dev utun" "routes after teardown"
  tb_expect_contains "$routes" "default via $TB_SERVER_ADDRESS dev en0" "default route after teardown"
  tb_expect_eq "$(tb_services_summary)" "$1" "network services after teardown"
  tb_expect_eq "$(tb_status_field active)" false "status after teardown"
}

# tb_start_fails CONFIG EXPECTED_ERROR_PART: zorvikctl start must fail with that text.
tb_start_fails() {
  local status=0 started=$EPOCHREALTIME
  tb_ctl start "$1" >"$TB/ctl.out" 2>"$TB/ctl.err" || status=$?
  tb_figure "start failed after (s)" "$(tb_seconds_since "$started")"
  tb_expect_eq "$status" 1 "zorvikctl start exit status (stderr: $(<"$TB/ctl.err"))"
  tb_expect_contains "$(<"$TB/ctl.err")" "start failed: $2" "zorvikctl start error"
}

# --- other local users -----------------------------------------------------------------------

TB_NOBODY=65534

# tb_as UID COMMAND...: COMMAND as that user and group, without supplementary groups.
tb_as() {
  local id=$1
  shift
  setpriv --reuid="$id" --regid="$id" --clear-groups -- "$@"
}

# tb_abuse UID PROGRAM WHAT: PROGRAM (the genuine zorvikctl, or a copy of it) run as UID with
# testing/front_abuse.cpp preloaded, doing WHAT instead of its own work (see that file). In a
# sanitized build the preloaded library comes before the sanitizer's runtime, which is fine.
tb_abuse() {
  [ -f "$TB/front_abuse.so" ] || tb_fail "no front_abuse library in this build"
  tb_as "$1" env LD_PRELOAD="$TB/front_abuse.so" ASAN_OPTIONS=verify_asan_link_order=0 \
    ZORVIK_ABUSE="$3" "$2" version
}

# The helper's resident size, or its peak ("VmHWM"), in KiB.
tb_helper_rss() {
  sed -n "s/^${1:-VmRSS}:[[:space:]]*\([0-9]*\) kB$/\1/p" "/proc/$TB_HELPER_PID/status"
}
