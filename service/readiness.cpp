#include "service/readiness.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/unicode_space.h"
#include "base/unique_fd.h"
#include "base/unix_address.h"
#include "base/utf8.h"
#include "platform/directory_watch.h"
#include "platform/socket_io.h"

namespace zorvik {
namespace {

using Clock = std::chrono::steady_clock;

std::optional<std::string> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(out).str();
}

}  // namespace

std::optional<std::string> waitForFileText(DirectoryWatch& watch, const std::string& path,
                                           std::chrono::milliseconds timeout,
                                           std::chrono::milliseconds pollInterval) {
  const auto deadline = Clock::now() + timeout;
  watch.renew();
  while (Clock::now() < deadline) {
    auto text = readWholeFile(path);
    if (text && !text->empty() && toValidUTF8(*text) == *text) return text;
    // Written but not yet whole: its own writes are what to wait for now.
    if (text) watch.watchFileToo(path);
    watch.waitForChange(std::min(deadline, Clock::now() + pollInterval));
  }
  return std::nullopt;
}

std::optional<std::string> waitForInterfaceName(DirectoryWatch& watch, const std::string& nameFile,
                                                std::chrono::milliseconds timeout,
                                                std::chrono::milliseconds pollInterval) {
  auto text = waitForFileText(watch, nameFile, timeout, pollInterval);
  if (!text) return std::nullopt;
  std::string name(trimSpacesTabsAndLineBreaks(*text));
  if (name.empty()) return std::nullopt;
  return name;
}

std::string interfaceSocketPath(const std::string& runDir, const std::string& iface) {
  return runDir + "/" + iface + ".sock";
}

std::optional<std::string> waitForDirectoryEntry(
    DirectoryWatch& watch, std::chrono::milliseconds timeout,
    std::chrono::milliseconds pollInterval,
    const std::function<std::optional<std::string>()>& look) {
  using std::chrono::milliseconds;
  const auto deadline = Clock::now() + timeout;
  watch.renew();
  // A socket file appears at bind() and accepts only after listen(): after a change,
  // look again soon, then less and less often, up to the poll interval.
  milliseconds soon = pollInterval;
  while (Clock::now() < deadline) {
    if (auto found = look()) return found;
    const bool changed = watch.waitForChange(std::min(deadline, Clock::now() + soon));
    soon = changed ? std::min(milliseconds(1), pollInterval) : std::min(soon * 2, pollInterval);
  }
  return std::nullopt;
}

std::optional<std::vector<std::string>> listDirectoryNames(const std::string& directory) {
  std::error_code error;
  std::filesystem::directory_iterator it(directory, error);
  if (error) return std::nullopt;
  std::vector<std::string> names;
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  if (error) return std::nullopt;
  return names;
}

// A listener whose backlog is full still counts as alive.
bool acceptsConnection(const std::string& path) {
  const auto address = unixSocketAddress(path);
  if (!address) return false;
  UniqueFd fd = openUnixStreamSocket(SocketMode::nonBlocking);
  if (!fd) return false;
  return connectUnixSocket(fd.get(), *address) || errno == EAGAIN || errno == EINPROGRESS;
}

std::optional<pid_t> listeningProcess(const std::string& path) {
  const auto address = unixSocketAddress(path);
  if (!address) return std::nullopt;
  UniqueFd fd = openUnixStreamSocket(SocketMode::nonBlocking);
  if (!fd || !connectUnixSocket(fd.get(), *address)) return std::nullopt;
  return unixSocketPeerPid(fd.get());
}

}  // namespace zorvik
