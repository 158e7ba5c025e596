#include "netsys/command_runner.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

#include "base/fd_io.h"
#include "platform/cloexec_pipe.h"
#include "platform/process_spawn.h"
#include "base/unique_fd.h"
#include "base/utf8.h"

namespace zorvik {
namespace {

UniqueFd openNullDevice() { return UniqueFd(openRetryingEINTR("/dev/null", O_WRONLY | O_CLOEXEC)); }

/// Starts the tool; nothing when it cannot be started. The reason is dropped on purpose.
std::optional<pid_t> startTool(const std::string& path, const std::vector<std::string>& arguments,
                               int stdoutFd, int stderrFd) {
  SpawnRequest request;
  request.path = path;
  request.arguments = arguments;
  request.stdoutFd = stdoutFd;
  request.stderrFd = stderrFd;
  try {
    return spawnProcess(request);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

int waitForTool(pid_t pid) {
  std::optional<int> status = waitForExit(pid);
  return status ? terminationStatus(*status) : -1;
}

}  // namespace

int runTool(const std::string& path, const std::vector<std::string>& arguments) {
  UniqueFd null = openNullDevice();
  if (!null) return -1;
  std::optional<pid_t> pid = startTool(path, arguments, null.get(), null.get());
  if (!pid) return -1;
  return waitForTool(*pid);
}

std::optional<std::string> runToolCapturingOutput(const std::string& path,
                                                  const std::vector<std::string>& arguments) {
  UniqueFd null = openNullDevice();
  if (!null) return std::nullopt;
  std::optional<PipeEnds> pipe = makeCloexecPipe();
  if (!pipe) return std::nullopt;
  UniqueFd readEnd = std::move(pipe->readEnd);
  UniqueFd writeEnd = std::move(pipe->writeEnd);

  std::optional<pid_t> pid = startTool(path, arguments, writeEnd.get(), null.get());
  // Our copy of the write end must go, or the read below never sees end of file.
  writeEnd.reset();
  null.reset();
  if (!pid) return std::nullopt;

  // Read first, wait second: a tool that fills the pipe would otherwise never exit.
  std::string bytes = readToEnd(readEnd.get()).bytes;
  waitForTool(*pid);
  return toValidUTF8(bytes);
}

}  // namespace zorvik
