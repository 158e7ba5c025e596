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
enum class SetOutcome { leftAlone, unread, set, failed };

/// The values one a line, as a backup keeps them.
std::string asLines(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& value : values) text += (text.empty() ? "" : "\n") + value;
  return text;
}

/// Reads a setting of `service` with `getOption` and, when it reads cleanly, keeps it in
/// `backup`, records it and sets `values` with `setOption`: `failed` when that tool failed,
/// `unread` when the reading tool did not run or was ended at its limit.
SetOutcome backUpAndSet(const std::string& networksetup, const std::string& service,
                        const char* getOption, const char* setOption,
                        std::optional<std::string> (*readBackup)(std::string_view),
                        const std::vector<std::string>& values,
                        std::map<std::string, std::string>& backup,
                        const std::function<std::optional<std::string>()>& earlierName,
                        const std::function<void()>& recorded) {
  const std::optional<std::string> current =
      runToolCapturingOutput(networksetup, {getOption, service});
  if (!current) return SetOutcome::unread;
  // Only what was read cleanly can be put back; anything else stays untouched.
  std::optional<std::string> value = readBackup(*current);
  if (!value) return SetOutcome::leftAlone;
  // Already the tunnel's (left by a helper that died, or the service renamed while up): put
  // back, they would outlive the tunnel; so what it had before them, if a backup knows, or none.
  if (*value == asLines(values)) {
    const std::optional<std::string> name = earlierName();
    const auto earlier = name ? backup.find(*name) : backup.end();
    value = earlier != backup.end() ? earlier->second : kNoneMarker;
  }
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
  return dnsBackupValue(*output) == asLines(servers);
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
                                       const std::function<void()>& recorded,
                                       const EarlierName& earlierName) {
  if (dns.servers.empty()) return std::nullopt;
  for (const std::string& service : listNetworkServices(networksetup)) {
    // Once per name: a second listing of it would back up the tunnel's own settings.
    if (dnsBackup.contains(service)) continue;
    const auto earlierOf = [&]() -> std::optional<std::string> {
      return earlierName ? earlierName(service) : std::nullopt;
    };
    const SetOutcome servers =
        backUpAndSet(networksetup, service, "-getdnsservers", "-setdnsservers", dnsBackupValue,
                     dns.servers, dnsBackup, earlierOf, recorded);
    // A service still asking its own resolver sends every name past the tunnel; one whose
    // servers could not even be read (the tool hung or did not run) may be asking it.
    if (servers == SetOutcome::failed || servers == SetOutcome::unread ||
        (servers == SetOutcome::set && !listsServers(networksetup, service, dns.servers)))
      return service;
    // A service whose servers stay its own keeps its domains too.
    if (!dnsBackup.contains(service) || dns.searchDomains.empty() ||
        searchDomainsBackup.contains(service))
      continue;
    backUpAndSet(networksetup, service, "-getsearchdomains", "-setsearchdomains",
                 searchDomainsBackupValue, dns.searchDomains, searchDomainsBackup, earlierOf,
                 recorded);
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
