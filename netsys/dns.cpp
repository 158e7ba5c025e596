#include "netsys/dns.h"

#include <set>

#include "base/ip_address.h"
#include "base/text.h"
#include "base/unicode_space.h"
#include "netsys/command_runner.h"

namespace zorvik {
namespace {

// The backups' marker for a service that had none of a setting, and the argument that
// sets none. No address is spelled "empty"; a lone search domain of that name is put back
// as none.
constexpr const char* kNoneMarker = "empty";
constexpr const char* kNoneArgument = "Empty";

/// "empty" for the tool's note that there aren't any; the lines, one each, when every
/// non-blank line is `clean`; nothing otherwise.
std::optional<std::string> backupValue(std::string_view output, bool (*clean)(std::string_view)) {
  if (output.find("There aren't any") != std::string_view::npos) return kNoneMarker;
  std::string lines;
  for (const std::string_view line : split(output, '\n')) {
    const std::string_view item = trimSpacesTabsAndLineBreaks(line);
    if (item.empty()) continue;
    if (!clean(item)) return std::nullopt;
    if (!lines.empty()) lines += '\n';
    lines += item;
  }
  if (lines.empty()) return std::nullopt;
  return lines;
}

/// What backUpAndSet did to a service's setting.
enum class SetOutcome { leftAlone, set, failed };

/// Reads a setting of `service` with `getOption` and, when it reads cleanly, keeps it in
/// `backup`, records it and sets `values` with `setOption`: `failed` when that tool failed.
SetOutcome backUpAndSet(const std::string& networksetup, const std::string& service,
                        const char* getOption, const char* setOption,
                        std::optional<std::string> (*readBackup)(std::string_view),
                        const std::vector<std::string>& values,
                        std::map<std::string, std::string>& backup,
                        const std::function<void()>& recorded) {
  const std::optional<std::string> current =
      runToolCapturingOutput(networksetup, {getOption, service});
  // Only what was read cleanly can be put back; anything else stays untouched.
  const std::optional<std::string> value = current ? readBackup(*current) : std::nullopt;
  if (!value) return SetOutcome::leftAlone;
  backup[service] = *value;
  if (recorded) recorded();

  std::vector<std::string> arguments{setOption, service};
  arguments.insert(arguments.end(), values.begin(), values.end());
  return runTool(networksetup, arguments) == 0 ? SetOutcome::set : SetOutcome::failed;
}

/// Whether `service` now lists exactly `servers`, in their order.
bool listsServers(const std::string& networksetup, const std::string& service,
                  const std::vector<std::string>& servers) {
  const std::optional<std::string> output =
      runToolCapturingOutput(networksetup, {"-getdnsservers", service});
  if (!output) return false;
  const std::optional<std::string> value = dnsBackupValue(*output);
  std::string expected;
  for (const std::string& server : servers) expected += (expected.empty() ? "" : "\n") + server;
  return value == expected;
}

void putBack(const std::string& networksetup, const char* setOption, const std::string& service,
             const std::string& backup) {
  std::vector<std::string> arguments{setOption, service};
  if (backup == kNoneMarker) {
    arguments.emplace_back(kNoneArgument);
  } else {
    for (std::string_view line : splitDroppingEmpty(backup, '\n')) arguments.emplace_back(line);
  }
  runTool(networksetup, arguments);
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
  std::vector<std::string> servers = dnsValuePieces(dnsText);
  std::erase_if(servers, [](const std::string& piece) { return !isIPAddress(piece); });
  return servers;
}

std::optional<std::string> dnsBackupValue(std::string_view getdnsOutput) {
  return backupValue(getdnsOutput, isIPAddress);
}

std::optional<std::string> searchDomainsBackupValue(std::string_view getsearchOutput) {
  return backupValue(getsearchOutput, isHostName);
}

std::vector<std::string> listNetworkServices(const std::string& networksetup) {
  std::optional<std::string> listing =
      runToolCapturingOutput(networksetup, {"-listallnetworkservices"});
  if (!listing) return {};
  return parseNetworkServices(*listing);
}

std::optional<std::string> overrideDNS(const std::string& networksetup, const TunnelDNS& dns,
                                       std::map<std::string, std::string>& dnsBackup,
                                       std::map<std::string, std::string>& searchDomainsBackup,
                                       const std::function<void()>& recorded) {
  if (dns.servers.empty()) return std::nullopt;
  for (const std::string& service : listNetworkServices(networksetup)) {
    // Once per name: a second listing of it would back up the tunnel's own settings.
    if (dnsBackup.contains(service)) continue;
    const SetOutcome servers =
        backUpAndSet(networksetup, service, "-getdnsservers", "-setdnsservers", dnsBackupValue,
                     dns.servers, dnsBackup, recorded);
    // A service still asking its own resolver sends every name past the tunnel.
    if (servers == SetOutcome::failed ||
        (servers == SetOutcome::set && !listsServers(networksetup, service, dns.servers)))
      return service;
    // A service whose servers stay its own keeps its domains too.
    if (!dnsBackup.contains(service) || dns.searchDomains.empty() ||
        searchDomainsBackup.contains(service))
      continue;
    backUpAndSet(networksetup, service, "-getsearchdomains", "-setsearchdomains",
                 searchDomainsBackupValue, dns.searchDomains, searchDomainsBackup, recorded);
  }
  return std::nullopt;
}

void restoreDNS(const std::string& networksetup, std::map<std::string, std::string>& dnsBackup,
                std::map<std::string, std::string>& searchDomainsBackup) {
  std::set<std::string> services;
  for (const auto& entry : dnsBackup) services.insert(entry.first);
  for (const auto& entry : searchDomainsBackup) services.insert(entry.first);
  for (const std::string& service : services) {
    if (const auto servers = dnsBackup.find(service); servers != dnsBackup.end())
      putBack(networksetup, "-setdnsservers", service, servers->second);
    if (const auto domains = searchDomainsBackup.find(service);
        domains != searchDomainsBackup.end())
      putBack(networksetup, "-setsearchdomains", service, domains->second);
  }
  dnsBackup.clear();
  searchDomainsBackup.clear();
}

}  // namespace zorvik
