#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvik {

/// The on-disk copy of what a teardown reads, so that a helper that died with
/// a tunnel up can still undo it: never a key or any configuration text.
struct TunnelJournal {
  std::optional<std::string> endpointIP;
  std::optional<std::string> savedGateway;
  std::map<std::string, std::string> dnsBackup;
  std::vector<std::string> ipv6Disabled;
  /// The daemon's executable, recorded before it is started.
  std::optional<std::string> daemonPath;
  /// The daemon's pid, recorded right after it was started.
  std::optional<pid_t> daemonPid;
  std::optional<std::string> iface;

  bool operator==(const TunnelJournal&) const = default;
};

/// The journal as JSON text. Throws when a text is not valid UTF-8.
std::string encodeTunnelJournal(const TunnelJournal& journal);

/// Parses journal text; throws std::runtime_error saying what is wrong when it
/// is not a complete journal of the expected shape and types.
TunnelJournal decodeTunnelJournal(std::string_view text);

/// Writes the journal at `path` atomically, file mode 0600, creating its
/// directory with mode 0755 and checking whose it is, unless `directoryChecked`
/// says an earlier write did. Throws std::system_error naming the failing step.
void writeTunnelJournal(const std::string& path, const TunnelJournal& journal,
                        bool directoryChecked = false);

/// What is at a journal path.
struct TunnelJournalRead {
  enum Outcome { absent, bad, found } outcome = absent;
  TunnelJournal journal;  ///< when `found`
  std::string problem;    ///< when `bad`
};

/// Reads the journal at `path`. A symlink is never followed; it, a file with
/// another link, a file not owned by this user or writable by others, and text
/// that does not decode are all `bad`.
TunnelJournalRead readTunnelJournal(const std::string& path);

/// True when anything is at `path`, a symlink included: a replay reports and
/// removes what it cannot use.
bool tunnelJournalPresent(const std::string& path);

}  // namespace zorvik
