# A service renamed while the tunnel is up: Wi-Fi, with servers and a search domain of its own
# and IPv6 Automatic, becomes "Wi-Fi 2" under the tunnel; stop finds it by its hardware port and
# device and gives it its own settings back, with the rename in the helper log. The Thunderbolt
# Bridge already holds the tunnel's server and domain at the start (left by a helper that died):
# after stop it has none, not the tunnel's.
# fault: a service renamed while up; a service already holding the tunnel's DNS at the start
tb_network_up
{
  tb_service 1 "Wi-Fi" Automatic "192.0.2.53 198.51.100.53" en0 "home.example"
  tb_service 1 "Thunderbolt Bridge" Off "$TB_SERVER_TUNNEL_ADDRESS" bridge0 "corp.example"
} >"$TB/services"
tb_client_config dns="$TB_SERVER_TUNNEL_ADDRESS, corp.example" >"$TB/search.conf"
tb_start_helper
journal="/Library/Application Support/ZorvikVPN/tunnel-journal.json"
tb_expect_eq "$(tb_networksetup -listnetworkserviceorder)" "An asterisk (*) denotes that a network service is disabled.
(1) Wi-Fi
(Hardware Port: Wi-Fi, Device: en0)

(2) Thunderbolt Bridge
(Hardware Port: Thunderbolt Bridge, Device: bridge0)" "service order before the start"

tb_step "zorvikctl start with DNS = $TB_SERVER_TUNNEL_ADDRESS, corp.example"
tb_expect_eq "$(tb_ctl start "$TB/search.conf")" "tunnel started" "zorvikctl start"
tb_expect_eq "$(tb_services_summary)" "Wi-Fi | $TB_SERVER_TUNNEL_ADDRESS | Off | search corp.example
Thunderbolt Bridge | $TB_SERVER_TUNNEL_ADDRESS | Off | search corp.example" "services while up"
record=$(<"$journal")
tb_note "$record"
tb_expect_contains "$record" '"Wi-Fi": "Hardware Port: Wi-Fi, Device: en0"' "Wi-Fi's identity in the journal"
tb_expect_contains "$record" '"Thunderbolt Bridge": "empty"' "the bridge's backups: none, not the tunnel's"
tb_expect_lacks "$record" "\"Thunderbolt Bridge\": \"$TB_SERVER_TUNNEL_ADDRESS\"" "the bridge's server backup"
tb_expect_lacks "$record" '"Thunderbolt Bridge": "corp.example"' "the bridge's search domain backup"

tb_step "rename Wi-Fi to \"Wi-Fi 2\" while up"
tb_networksetup -renamenetworkservice "Wi-Fi" "Wi-Fi 2"
if tb_networksetup -renamenetworkservice "Wi-Fi" "Wi-Fi 3" 2>/dev/null; then
  tb_fail "a rename of a service that is not there succeeded"
fi
tb_checked
tb_expect_eq "$(tb_networksetup -listnetworkserviceorder | sed -n 2,3p)" "(1) Wi-Fi 2
(Hardware Port: Wi-Fi, Device: en0)" "the renamed service keeps its port and device"

tb_step "zorvikctl stop"
tb_journal_reset
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "Wi-Fi 2 | 192.0.2.53,198.51.100.53 | Automatic | search home.example
Thunderbolt Bridge | none | Off"
calls=$(tb_journal)
tb_expect_contains "$calls" '["/usr/sbin/networksetup","-setv6automatic","Wi-Fi 2"]' "IPv6 put back on the renamed service"
tb_expect_lacks "$calls" '"Wi-Fi"]' "calls naming the old name"
tb_expect_lacks "$calls" '"Wi-Fi",' "calls naming the old name"
tb_expect_eq "$(tb_helper_log_messages | grep -cxF "сервис «Wi-Fi» теперь называется «Wi-Fi 2», его настройки восстановлены на нём")" 1 "rename lines in the helper log"
