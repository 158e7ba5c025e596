#include "netsys/command_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <mutex>

#include "base/fd_io.h"
#include "base/unique_fd.h"
#include "base/utf8.h"
#include "platform/child_process.h"

namespace zorvik {
namespace {

struct RunLimit {
  std::chrono::milliseconds limit = kToolRunLimit;
  ToolOverrunReport report;
};

std::mutex limitMutex;
RunLimit& runLimit() {
  static RunLimit limit;
  return limit;
}

RunLimit currentRunLimit() {
  std::lock_guard lock(limitMutex);
  return runLimit();
}

/// /dev/null, opened once for every tool of the process's life; -1 while it cannot be.
int nullDevice() {
  static std::mutex mutex;
  static UniqueFd device;
  std::lock_guard lock(mutex);
  if (!device) device = UniqueFd(openRetryingEINTR("/dev/null", O_WRONLY | O_CLOEXEC));
  return device.get();
}

bool holdsNul(const std::string& path, const std::vector<std::string>& arguments) {
  const auto nul = [](const std::string& text) { return text.find('\0') != std::string::npos; };
  return nul(path) || std::any_of(arguments.begin(), arguments.end(), nul);
}

/// Starts the tool in a process group of its own; nothing when it cannot be
/// started. The reason is dropped on purpose.
std::optional<pid_t> startTool(const std::string& path, const std::vector<std::string>& arguments,
                               int stdoutFd, int stderrFd) {
  SpawnRequest request;
  request.path = path;
  request.arguments = arguments;
  request.stdoutFd = stdoutFd;
  request.stderrFd = stderrFd;
  request.ownProcessGroup = true;
  try {
    return spawnProcess(request);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

int reap(pid_t pid) {
  std::optional<int> status = reapChild(pid);
  return status ? terminationStatus(*status) : -1;
}

/// Kills the tool and its process group, reaps the tool and reports the overrun.
void killOverrun(pid_t pid, const RunLimit& limit, const std::string& path,
                 const std::vector<std::string>& arguments) {
  // The leader is not reaped yet, so the group id is still its own.
  ::killpg(pid, SIGKILL);
  reap(pid);
  if (limit.report) limit.report(path, arguments);
}

/// What is readable on the non-blocking `fd` now, until `deadline`.
void drainAvailable(int fd, std::string& out, ChildWatch::Clock::time_point deadline) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  char buffer[64 * 1024];
  while (ChildWatch::Clock::now() < deadline) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    out.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

void setToolRunLimit(std::chrono::milliseconds limit, ToolOverrunReport report) {
  std::lock_guard lock(limitMutex);
  runLimit() = {limit, std::move(report)};
}

int runTool(const std::string& path, const std::vector<std::string>& arguments) {
  if (holdsNul(path, arguments)) return -1;
  const RunLimit limit = currentRunLimit();
  const int null = nullDevice();
  if (null < 0) return -1;
  const std::optional<pid_t> pid = startTool(path, arguments, null, null);
  if (!pid) return -1;
  ChildWatch watch(*pid);
  if (watch.wait(-1, ChildWatch::Clock::now() + limit.limit) != ChildWatch::Event::exited) {
    killOverrun(*pid, limit, path, arguments);
    return -1;
  }
  return reap(*pid);
}

std::optional<std::string> runToolCapturingOutput(const std::string& path,
                                                  const std::vector<std::string>& arguments) {
  if (holdsNul(path, arguments)) return std::nullopt;
  const RunLimit limit = currentRunLimit();
  const int null = nullDevice();
  if (null < 0) return std::nullopt;
  std::optional<PipeEnds> pipe = makeCloexecPipe();
  if (!pipe) return std::nullopt;
  UniqueFd readEnd = std::move(pipe->readEnd);
  UniqueFd writeEnd = std::move(pipe->writeEnd);

  const std::optional<pid_t> pid = startTool(path, arguments, writeEnd.get(), null);
  // Our copy of the write end must go, or the pipe never reaches end of file.
  writeEnd.reset();
  if (!pid) return std::nullopt;

  // Read while waiting: a tool that fills the pipe would otherwise never exit.
  const auto deadline = ChildWatch::Clock::now() + limit.limit;
  ChildWatch watch(*pid);
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    const auto event = watch.wait(readEnd ? readEnd.get() : -1, deadline);
    if (event == ChildWatch::Event::timedOut) {
      killOverrun(*pid, limit, path, arguments);
      return std::nullopt;
    }
    if (event == ChildWatch::Event::exited) break;
    const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      readEnd.reset();  // end of output; the exit is still to come
      continue;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  if (readEnd) drainAvailable(readEnd.get(), bytes, deadline);
  reap(*pid);
  return toValidUTF8(bytes);
}

}  // namespace zorvik
