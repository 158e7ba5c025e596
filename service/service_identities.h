#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "netsys/service_order.h"
#include "service/tunnel_record.h"

namespace zorvik {

/// Each service name the backups of `tunnel` hold, once, sorted.
std::vector<std::string> backedUpNames(const TunnelRecord& tunnel);

/// The services' identities for one start or one network change: listed once, at the
/// first question, so a start that backs nothing up lists nothing.
class ServiceListing {
 public:
  explicit ServiceListing(const std::string& networksetup) : networksetup_(networksetup) {}

  /// The identity of the one listed service called `name`; empty when none is, or several.
  std::string identityOf(const std::string& name);

  /// Records the identity of each service the backups of `tunnel` name that has none recorded.
  void recordIdentities(TunnelRecord& tunnel);

  /// The other name under which `tunnel`'s backups hold the service now called `name`.
  std::optional<std::string> earlierName(const TunnelRecord& tunnel, const std::string& name);

 private:
  const std::string& networksetup_;
  std::optional<std::vector<ListedService>> services_;
};

/// Called with a service's recorded name and its name now.
using ServiceRenamed = std::function<void(const std::string& from, const std::string& to)>;

/// Moves each backup of `tunnel` onto the name its service has now, as a fresh listing
/// tells it, and reports each move. A backup keeps its name when its service has no recorded
/// identity, when no listed service or more than one has that identity, and when the new
/// name holds backups of another service.
void followRenamedServices(const std::string& networksetup, TunnelRecord& tunnel,
                           const ServiceRenamed& renamed);

}  // namespace zorvik
