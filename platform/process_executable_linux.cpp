#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/pidfd_linux.h"
#include "platform/process_executable.h"

namespace zorvik {
namespace {

// The kernel appends this when the file was replaced or removed since the
// start, as an update or reinstall does; the process still runs that path's program.
constexpr std::string_view kDeletedSuffix = " (deleted)";

}  // namespace

std::optional<std::string> processExecutablePath(pid_t pid) {
  if (pid < 1) return std::nullopt;
  const std::string link = procExecutableLink(pid);
  char target[PATH_MAX];
  ssize_t length = ::readlink(link.c_str(), target, sizeof target);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return std::nullopt;
  std::string path(target, static_cast<std::size_t>(length));
  if (path.ends_with(kDeletedSuffix)) path.resize(path.size() - kDeletedSuffix.size());
  return path;
}

bool terminateIfRunning(pid_t pid, const std::string& executablePath) {
  if (pid < 2) return false;
  // The pidfd pins the process: if the pid is reused after the check, the
  // signal fails instead of reaching the newcomer.
  UniqueFd pidfd = openPidfd(pid);
  if (!pidfd && errno != ENOSYS) return false;
  if (processExecutablePath(pid) != executablePath) return false;
  if (!pidfd) return ::kill(pid, SIGTERM) == 0;
  return ::syscall(SYS_pidfd_send_signal, pidfd.get(), SIGTERM, nullptr, 0) == 0;
}

}  // namespace zorvik
