#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik {

/// The enabled services of a "-listallnetworkservices" listing.
std::vector<std::string> parseNetworkServices(std::string_view listing);
/// The server list of the configuration's DNS text.
std::vector<std::string> parseDNSServers(std::string_view dnsText);
/// The backup value of a "-getdnsservers" output: "empty" when it says there
/// aren't any, the servers one per line when every non-blank line is an IPv4 or
/// IPv6 address; nothing for an error text, an empty output or anything else.
std::optional<std::string> dnsBackupValue(std::string_view getdnsOutput);

/// Runs `networksetup` -listallnetworkservices and parses it; empty when it cannot run.
std::vector<std::string> listNetworkServices(const std::string& networksetup);

/// Backs up each enabled service's DNS servers into `dnsBackup`, then sets the
/// tunnel's servers on it. A service whose servers cannot be read cleanly, or
/// that `dnsBackup` already holds, is left alone. `recorded` runs after each backup entry is stored
/// and before that service is changed.
void overrideDNS(const std::string& networksetup, std::string_view dnsText,
                 std::map<std::string, std::string>& dnsBackup,
                 const std::function<void()>& recorded = {});

/// Puts back what `dnsBackup` holds, then empties it whatever the tool did.
void restoreDNS(const std::string& networksetup, std::map<std::string, std::string>& dnsBackup);

}  // namespace zorvik
