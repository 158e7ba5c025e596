#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zorvik {

/// What a teardown reads: each change a bring-up made, recorded the moment it
/// is made, and whether the tunnel is up. The service holds one; the tunnel
/// journal is its copy on disk, without `sockPath` and `active`, and never a
/// key or any configuration text.
struct TunnelRecord {
  std::optional<std::string> iface;
  /// Not journaled: a replay has no use for the socket of a daemon it ends.
  std::optional<std::string> sockPath;
  std::optional<std::string> endpointIP;
  std::optional<std::string> savedGateway;
  std::map<std::string, std::string> dnsBackup;
  /// Each changed service's own search domains, kept as dnsBackup keeps its servers.
  std::map<std::string, std::string> searchDomainsBackup;
  std::vector<std::string> ipv6Disabled;
  /// The identity (hardware port and device, `ListedService::identity`) of each service the
  /// three backups above name, as listed at the time: the teardown puts each backup on the
  /// service that has it then, whatever it is called by then.
  std::map<std::string, std::string> serviceIdentities;
  /// Reject routes the tunnel added ("::/1"): unlike its other routes they outlive
  /// the interface, so the teardown deletes them.
  std::vector<std::string> rejectRoutes;
  /// The daemon's executable, recorded before it is started.
  std::optional<std::string> daemonPath;
  /// The daemon's pid, recorded right after it was started.
  std::optional<pid_t> daemonPid;
  /// Not journaled: set by a start that succeeded, cleared by the teardown.
  bool active = false;

  bool operator==(const TunnelRecord&) const = default;
};

}  // namespace zorvik
