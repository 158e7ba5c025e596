# A configuration as editors save it: a UTF-8 byte order mark, CR LF line ends, remark lines and
# "#" remarks after values. It starts like the plain one, and DNS gets the server without its
# remark.
tb_network_up
tb_start_helper
before=$(tb_services_summary)
{
  printf '\xef\xbb\xbf'
  sed -e 's/^DNS = .*/& # office/' -e 's/^Endpoint = .*/& # the VPN server/' \
    -e 's/^Address = .*/&	# the tunnel'"'"'s address/' -e 's/^\[Peer\]$/# the server\r\n&/' \
    -e 's/$/\r/' "$TB_CLIENT_CONFIG"
} >"$TB/edited.conf"
tb_expect_eq "$(head -c 3 "$TB/edited.conf" | od -An -tx1 | tr -d ' ')" efbbbf "the file's first bytes"
tb_expect_eq "$(grep -c $'\r$' "$TB/edited.conf")" "$(wc -l <"$TB/edited.conf")" "lines ending in CR LF"
tb_note "$(sed -E 's/^(PrivateKey = ).*/\1(hidden)/' "$TB/edited.conf" | cat -A | grep -v '^\^M\$$')"

tb_step "zorvikctl start"
tb_expect_eq "$(tb_ctl start "$TB/edited.conf")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
tb_ping_server 3
tb_expect_contains "$(tb_helper_log)" "туннель поднят на utun → $TB_SERVER_ADDRESS" "helper log"
tb_expect_eq "$(grep -F '"-setdnsservers"' "$TB/journal")" \
  "[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"Wi-Fi\",\"$TB_SERVER_TUNNEL_ADDRESS\"]
[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"USB 10/100/1000 LAN\",\"$TB_SERVER_TUNNEL_ADDRESS\"]
[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"Thunderbolt Bridge\",\"$TB_SERVER_TUNNEL_ADDRESS\"]" "DNS changes"
tb_expect_services_tunneled

tb_step "zorvikctl stop"
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
