#include "platform/child_process_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "platform/child_process.h"

namespace zorvik {
namespace {

// Only where the kernel has no pidfd: how often the exit is looked for.
constexpr std::chrono::milliseconds kExitPollInterval{5};
// The longest poll() can be asked to wait.
constexpr std::chrono::milliseconds kLongestPoll{INT_MAX};

// The kernel appends this when the file was replaced or removed since the
// start, as an update or reinstall does; the process still runs that path's program.
constexpr std::string_view kDeletedSuffix = " (deleted)";

}  // namespace

UniqueFd openPidfd(pid_t pid) {
  // Through syscall(): some glibc headers declare pidfd_open without C linkage.
  return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
}

std::string procExecutableLink(pid_t pid) { return "/proc/" + std::to_string(pid) + "/exe"; }

short spawnCloseOthersFlags() { return 0; }

int spawnCloseOthers(posix_spawn_file_actions_t* actions) {
  return posix_spawn_file_actions_addclosefrom_np(actions, 3);
}

std::optional<PipeEnds> makeCloexecPipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  return PipeEnds{UniqueFd(ends[0]), UniqueFd(ends[1])};
}

void ChildWatch::startWatching() { handle_ = openPidfd(pid_); }

ChildWatch::Event ChildWatch::waitWatched(int fd, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (!handle_ && childHasEnded(pid_)) return Event::exited;
    if (left.count() <= 0) return childHasEnded(pid_) ? Event::exited : Event::timedOut;

    pollfd entries[2];
    nfds_t count = 0;
    if (handle_) entries[count++] = {handle_.get(), POLLIN, 0};
    if (fd >= 0) entries[count++] = {fd, POLLIN, 0};
    const auto timeout = std::min(handle_ ? left : std::min(left, kExitPollInterval), kLongestPoll);
    const int ready = ::poll(entries, count, static_cast<int>(timeout.count()));
    if (ready < 0 && errno != EINTR) return childHasEnded(pid_) ? Event::exited : Event::timedOut;
    if (ready <= 0) continue;
    if (handle_ && entries[0].revents != 0) return Event::exited;
    if (fd >= 0 && entries[count - 1].revents != 0) return Event::readable;
  }
}

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

bool anyProcessRuns(const std::string& executablePath) {
  std::error_code error;
  for (std::filesystem::directory_iterator it("/proc", error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(name));
    if (pid != ::getpid() && processExecutablePath(pid) == executablePath) return true;
  }
  return false;
}

std::optional<pid_t> parentProcessId(pid_t pid) {
  if (pid < 1) return std::nullopt;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return std::nullopt;
  // "pid (comm) state ppid ...": the name may hold blanks and ")", the last ")" ends it.
  const auto close = stat.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream rest(stat.substr(close + 1));
  char state = 0;
  long parent = -1;
  if (!(rest >> state >> parent) || parent < 0) return std::nullopt;
  return static_cast<pid_t>(parent);
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
