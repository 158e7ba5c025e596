#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace zorvik {

/// How to start a child process. Descriptors of -1 are inherited from the helper.
struct SpawnRequest {
  std::string path;                    ///< absolute path of the executable; no PATH search
  std::vector<std::string> arguments;  ///< arguments after argument zero, which is `path`
  /// Complete environment as "NAME=value"; absent means the helper's own.
  std::optional<std::vector<std::string>> environment;
  int stdinFd = -1;
  int stdoutFd = -1;
  int stderrFd = -1;
  /// Starts the child as the leader of a process group of its own, so that it
  /// and whatever it starts can be signalled together (killpg with its pid).
  bool ownProcessGroup = false;
};

/// Starts a child without a shell. The child gets default signal dispositions,
/// an empty signal mask and no descriptor of the helper but 0, 1 and 2.
/// Returns its pid; throws std::system_error when it cannot be started.
pid_t spawnProcess(const SpawnRequest& request);

/// Waits for `pid` to exit (retrying on EINTR) and returns its raw wait status,
/// or nothing when waitpid fails.
std::optional<int> waitForExit(pid_t pid);

/// The status as the platform's termination status: the exit code, or the signal number.
int terminationStatus(int waitStatus);

/// The environment of this process with `overrides` ("NAME=value") put in place
/// of any entry of the same name.
std::vector<std::string> environmentWith(const std::vector<std::string>& overrides);

}  // namespace zorvik
