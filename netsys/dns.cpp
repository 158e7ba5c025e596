#include "netsys/dns.h"

#include <arpa/inet.h>

#include "base/text.h"
#include "base/unicode_space.h"
#include "netsys/command_runner.h"

namespace zorvik {
namespace {

constexpr const char* kNoServersMarker = "empty";
constexpr const char* kNoServersArgument = "Empty";

bool isIPAddress(const std::string& text) {
  unsigned char parsed[sizeof(in6_addr)];
  return text.find('\0') == std::string::npos && (inet_pton(AF_INET, text.c_str(), parsed) == 1 ||
                                                  inet_pton(AF_INET6, text.c_str(), parsed) == 1);
}

}  // namespace

std::vector<std::string> parseNetworkServices(std::string_view listing) {
  std::vector<std::string_view> lines = splitDroppingEmpty(listing, '\n');
  std::vector<std::string> services;
  if (lines.size() <= 1) return services;
  // The first line is the tool's header, whatever it says.
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view name = trimSpacesAndTabs(lines[i]);
    // A leading "*" marks a disabled service.
    if (name.empty() || name.front() == '*') continue;
    services.emplace_back(name);
  }
  return services;
}

std::vector<std::string> parseDNSServers(std::string_view dnsText) {
  std::vector<std::string> servers;
  for (std::string_view piece : splitDroppingEmpty(dnsText, ',')) {
    std::string_view server = trimSpacesAndTabs(piece);
    if (!server.empty()) servers.emplace_back(server);
  }
  return servers;
}

std::optional<std::string> dnsBackupValue(std::string_view getdnsOutput) {
  if (getdnsOutput.find("There aren't any") != std::string_view::npos) return kNoServersMarker;
  std::string servers;
  for (const std::string_view line : split(getdnsOutput, '\n')) {
    const std::string server(trimSpacesTabsAndLineBreaks(line));
    if (server.empty()) continue;
    if (!isIPAddress(server)) return std::nullopt;
    if (!servers.empty()) servers += '\n';
    servers += server;
  }
  if (servers.empty()) return std::nullopt;
  return servers;
}

std::vector<std::string> listNetworkServices(const std::string& networksetup) {
  std::optional<std::string> listing =
      runToolCapturingOutput(networksetup, {"-listallnetworkservices"});
  if (!listing) return {};
  return parseNetworkServices(*listing);
}

void overrideDNS(const std::string& networksetup, std::string_view dnsText,
                 std::map<std::string, std::string>& dnsBackup,
                 const std::function<void()>& recorded) {
  std::vector<std::string> servers = parseDNSServers(dnsText);
  if (servers.empty()) return;
  for (const std::string& service : listNetworkServices(networksetup)) {
    // Once per name: a second listing of it would back up the tunnel's own servers.
    if (dnsBackup.contains(service)) continue;
    const std::optional<std::string> current =
        runToolCapturingOutput(networksetup, {"-getdnsservers", service});
    // Only what was read cleanly can be put back; anything else stays untouched.
    const std::optional<std::string> backup = current ? dnsBackupValue(*current) : std::nullopt;
    if (!backup) continue;
    dnsBackup[service] = *backup;
    if (recorded) recorded();

    std::vector<std::string> arguments{"-setdnsservers", service};
    arguments.insert(arguments.end(), servers.begin(), servers.end());
    runTool(networksetup, arguments);
  }
}

void restoreDNS(const std::string& networksetup, std::map<std::string, std::string>& dnsBackup) {
  for (const auto& [service, backup] : dnsBackup) {
    std::vector<std::string> arguments{"-setdnsservers", service};
    if (backup == kNoServersMarker) {
      arguments.emplace_back(kNoServersArgument);
    } else {
      for (std::string_view line : splitDroppingEmpty(backup, '\n')) arguments.emplace_back(line);
    }
    runTool(networksetup, arguments);
  }
  dnsBackup.clear();
}

}  // namespace zorvik
