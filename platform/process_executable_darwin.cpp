#include <libproc.h>
#include <signal.h>

#include "platform/process_executable.h"

namespace zorvik {

std::optional<std::string> processExecutablePath(pid_t pid) {
  if (pid < 1) return std::nullopt;
  char path[PROC_PIDPATHINFO_MAXSIZE];
  int length = ::proc_pidpath(pid, path, sizeof path);
  if (length <= 0) return std::nullopt;
  return std::string(path, static_cast<std::size_t>(length));
}

bool terminateIfRunning(pid_t pid, const std::string& executablePath) {
  if (pid < 2) return false;
  // No process descriptor here: the pid could in theory be reused between the
  // check and the signal, a window of microseconds after a helper restart.
  if (processExecutablePath(pid) != executablePath) return false;
  return ::kill(pid, SIGTERM) == 0;
}

}  // namespace zorvik
