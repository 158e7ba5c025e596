#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace zorvik {

/// The path of the executable that process `pid` runs, or nothing when there
/// is no such process or it cannot be inspected.
std::optional<std::string> processExecutablePath(pid_t pid);

/// Sends SIGTERM to process `pid` only if it is running and its executable is
/// `executablePath`. Never signals a pid below 2. True when the signal was sent.
bool terminateIfRunning(pid_t pid, const std::string& executablePath);

}  // namespace zorvik
