#pragma once

#include <string>
#include <string_view>

#include "base/system_log.h"
#include "service/tunnel_record.h"

namespace zorvik {

// The tunnel journal: a TunnelRecord on disk, so that a helper that died with a tunnel up
// can still undo it. Journals left by older helpers must still replay: the format stays.

/// The record's journaled fields as JSON text. Throws when a text is not valid UTF-8.
std::string encodeTunnelJournal(const TunnelRecord& record);

/// Parses journal text; throws std::runtime_error saying what is wrong when it
/// is not a complete journal of the expected shape and types.
TunnelRecord decodeTunnelJournal(std::string_view text);

/// Writes the journal at `path` atomically, file mode 0600, creating its
/// directory with mode 0755 and checking whose it is, unless `directoryChecked`
/// says an earlier write did. Throws std::system_error naming the failing step.
void writeTunnelJournal(const std::string& path, const TunnelRecord& record,
                        bool directoryChecked = false);

/// The journal of the tunnel that is up: each record replaces it whole, the teardown removes
/// it. Its directory is checked once per tunnel, and only the first failure of a tunnel is
/// logged, since a later write that succeeds covers the failed one too.
class TunnelJournal {
 public:
  TunnelJournal(std::string path, SystemLog log) : path_(std::move(path)), log_(std::move(log)) {}

  /// Writes `record`; a failure is logged, never thrown: the journal must not fail a start.
  void record(const TunnelRecord& record);
  /// Removes the journal, logging a failure; the next record is a new tunnel's.
  void remove();

 private:
  const std::string path_;
  const SystemLog log_;
  // Since the last removal.
  bool directoryChecked_ = false;
  bool failureLogged_ = false;
};

/// What is at a journal path.
struct TunnelJournalRead {
  enum Outcome { absent, bad, found } outcome = absent;
  TunnelRecord journal;  ///< when `found`
  std::string problem;   ///< when `bad`
};

/// Reads the journal at `path`. A symlink is never followed; it, a file with
/// another link, a file not owned by this user or writable by others, and text
/// that does not decode are all `bad`.
TunnelJournalRead readTunnelJournal(const std::string& path);

/// True when anything is at `path`, a symlink included: a replay reports and
/// removes what it cannot use.
bool tunnelJournalPresent(const std::string& path);

}  // namespace zorvik
