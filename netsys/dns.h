#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/tunnel_dns.h"

namespace zorvik {

/// The enabled services of a "-listallnetworkservices" listing.
std::vector<std::string> parseNetworkServices(std::string_view listing);
/// The servers of a DNS value: its pieces (dnsValuePieces) that are addresses.
std::vector<std::string> parseDNSServers(std::string_view dnsText);
/// The backup value of a "-getdnsservers" output: "empty" when it says there
/// aren't any, the servers one per line when every non-blank line is an IPv4 or
/// IPv6 address; nothing for an error text, an empty output or anything else.
std::optional<std::string> dnsBackupValue(std::string_view getdnsOutput);
/// The same for a "-getsearchdomains" output, whose lines must be host names.
std::optional<std::string> searchDomainsBackupValue(std::string_view getsearchOutput);

/// Runs `networksetup` -listallnetworkservices and parses it; empty when it cannot run.
std::vector<std::string> listNetworkServices(const std::string& networksetup);

/// The name under which the backups already hold the service now called `service`, if it
/// had another (renamed since); asked only about a service that has the tunnel's settings.
using EarlierName = std::function<std::optional<std::string>(const std::string& service)>;

/// Backs up each enabled service's DNS servers into `dnsBackup`, then sets the
/// tunnel's servers on it; when `dns` names search domains, then backs up that
/// service's search domains into `searchDomainsBackup` and sets the tunnel's. A service
/// whose servers cannot be read cleanly, or that `dnsBackup` already holds, is left
/// alone; one whose search domains cannot be read cleanly keeps its own. A setting that is
/// already exactly the tunnel's is backed up as what the backup of `earlierName` holds, or
/// as none, never as the tunnel's. Without servers nothing is done, as wg-quick does. `recorded`
/// runs after each backup entry is stored and before that setting of the service is changed. Each
/// service set is checked: its
/// "-setdnsservers" succeeded and "-getdnsservers" then lists exactly the tunnel's
/// servers. Returns the first service where that did not take, or whose servers could not
/// be read at all (the tool did not run or hung), after which no other is changed; nothing
/// when all did.
std::optional<std::string> overrideDNS(const std::string& networksetup, const TunnelDNS& dns,
                                       std::map<std::string, std::string>& dnsBackup,
                                       std::map<std::string, std::string>& searchDomainsBackup,
                                       const std::function<void()>& recorded = {},
                                       const EarlierName& earlierName = {});

/// Puts back what both backups hold, each service's servers before its search domains,
/// then empties both whatever the tool did.
void restoreDNS(const std::string& networksetup, std::map<std::string, std::string>& dnsBackup,
                std::map<std::string, std::string>& searchDomainsBackup);

}  // namespace zorvik
