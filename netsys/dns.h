#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik {

/// The enabled services of a "-listallnetworkservices" listing.
std::vector<std::string> parseNetworkServices(std::string_view listing);
/// The server list of the configuration's DNS text.
std::vector<std::string> parseDNSServers(std::string_view dnsText);
/// The backup value of a "-getdnsservers" output: "empty" or the trimmed servers.
std::string dnsBackupValue(std::string_view getdnsOutput);

/// Runs `networksetup` -listallnetworkservices and parses it; empty when it cannot run.
std::vector<std::string> listNetworkServices(const std::string& networksetup);

/// Backs up each enabled service's DNS servers into `dnsBackup`, then sets the
/// tunnel's servers on it. `recorded` runs after each backup entry is stored and
/// before that service is changed.
void overrideDNS(const std::string& networksetup, std::string_view dnsText,
                 std::map<std::string, std::string>& dnsBackup,
                 const std::function<void()>& recorded = {});

/// Puts back what `dnsBackup` holds, then empties it whatever the tool did.
void restoreDNS(const std::string& networksetup, std::map<std::string, std::string>& dnsBackup);

}  // namespace zorvik
