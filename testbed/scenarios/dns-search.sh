# DNS with a search domain, as wg-quick accepts it: DNS = 10.77.0.1, corp.example. Every enabled
# service gets the server and the domain; stop gives each its own back (the USB LAN has a search
# domain of its own, Wi-Fi none); the disabled service is never touched.
tb_network_up
{
  tb_service 1 "Wi-Fi" Automatic "" en0
  tb_service 1 "USB 10/100/1000 LAN" Manual "192.0.2.53 198.51.100.53" en1 "lan.example"
  tb_service 0 "Bluetooth PAN" Automatic "" en2 "pan.example"
  tb_service 1 "Thunderbolt Bridge" Off "" bridge0
} >"$TB/services"
tb_client_config dns="$TB_SERVER_TUNNEL_ADDRESS, corp.example" >"$TB/search.conf"
tb_start_helper
before=$(tb_services_summary)
tb_note "$before"

tb_step "zorvikctl start with DNS = $TB_SERVER_TUNNEL_ADDRESS, corp.example"
tb_expect_eq "$(tb_ctl start "$TB/search.conf")" "tunnel started" "zorvikctl start"
tb_expect_tunnel_up "$TB_SERVER_ADDRESS"
during=$(tb_services_summary)
tb_note "$during"
tb_expect_eq "$during" "Wi-Fi | $TB_SERVER_TUNNEL_ADDRESS | Off | search corp.example
USB 10/100/1000 LAN | $TB_SERVER_TUNNEL_ADDRESS | Manual | search corp.example
Bluetooth PAN | none | Automatic | search pan.example
Thunderbolt Bridge | $TB_SERVER_TUNNEL_ADDRESS | Off | search corp.example" "services while up"
journal=$(tb_journal)
for service in "Wi-Fi" "USB 10/100/1000 LAN" "Thunderbolt Bridge"; do
  calls=$(grep -F "\"$service\"" <<<"$journal" | grep -E '"-(get|set)(dnsservers|searchdomains)"')
  # The servers are read twice: the backup, then the check that the tunnel's took.
  tb_expect_eq "$(sort <<<"$calls")" \
    "[\"/usr/sbin/networksetup\",\"-getdnsservers\",\"$service\"]
[\"/usr/sbin/networksetup\",\"-getdnsservers\",\"$service\"]
[\"/usr/sbin/networksetup\",\"-getsearchdomains\",\"$service\"]
[\"/usr/sbin/networksetup\",\"-setdnsservers\",\"$service\",\"$TB_SERVER_TUNNEL_ADDRESS\"]
[\"/usr/sbin/networksetup\",\"-setsearchdomains\",\"$service\",\"corp.example\"]" "DNS calls for $service"
  # Each setting is backed up before it is changed (the servers are read once more after).
  for kind in dnsservers searchdomains; do
    [ "$(grep -n -- "-get$kind" <<<"$calls" | head -n 1 | cut -d: -f1)" -lt "$(grep -n -- "-set$kind" <<<"$calls" | cut -d: -f1)" ] ||
      tb_fail "$service: -set$kind before its backup: $calls"
    tb_checked
  done
done
tb_expect_lacks "$journal" '"Bluetooth PAN"]' "journal (the disabled service)"

tb_step "zorvikctl stop"
tb_journal_reset
tb_expect_eq "$(tb_ctl stop)" "tunnel stopped" "zorvikctl stop"
tb_expect_torn_down "$before"
journal=$(tb_journal)
tb_expect_contains "$journal" '["/usr/sbin/networksetup","-setsearchdomains","USB 10/100/1000 LAN","lan.example"]' "USB LAN's domain restored"
tb_expect_contains "$journal" '["/usr/sbin/networksetup","-setsearchdomains","Wi-Fi","Empty"]' "Wi-Fi's domains emptied"
