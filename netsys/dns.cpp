#include "netsys/dns.h"

#include "netsys/command_runner.h"
#include "base/text.h"
#include "base/unicode_space.h"

namespace zorvik {
namespace {

constexpr const char* kNoServersMarker = "empty";
constexpr const char* kNoServersArgument = "Empty";

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

std::string dnsBackupValue(std::string_view getdnsOutput) {
  if (getdnsOutput.find("There aren't any") != std::string_view::npos) return kNoServersMarker;
  return std::string(trimSpacesTabsAndLineBreaks(getdnsOutput));
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
    std::string current =
        runToolCapturingOutput(networksetup, {"-getdnsservers", service}).value_or("");
    dnsBackup[service] = dnsBackupValue(current);
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
