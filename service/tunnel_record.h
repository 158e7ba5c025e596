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
  std::vector<std::string> ipv6Disabled;
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
