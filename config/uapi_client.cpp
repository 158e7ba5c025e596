#include "config/uapi_client.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/socket_io.h"
#include "platform/unique_fd.h"
#include "platform/utf8.h"
#include "service/helper_service.h"

namespace zorvik {
namespace {

constexpr std::size_t kReadBufferSize = 4096;

/// The socket address of `path`; nothing when the path cannot be put there whole.
std::optional<sockaddr_un> unixAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // An empty path would name an abstract socket on Linux, a path with a NUL a
  // different file, and a cut path another file again.
  if (path.empty() || path.find('\0') != std::string::npos ||
      path.size() + 1 > sizeof address.sun_path) {
    return std::nullopt;
  }
  std::memcpy(address.sun_path, path.data(), path.size());
  return address;
}

bool endsWithBlankLine(const std::string& answer) {
  return answer.size() >= 2 && answer[answer.size() - 1] == '\n' &&
         answer[answer.size() - 2] == '\n';
}

/// ASCII digits with an optional "+" (or "-" for zero); nothing otherwise or on overflow.
std::optional<std::uint64_t> parseUInt64(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  constexpr auto max = std::numeric_limits<std::uint64_t>::max();
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (negative && value != 0) return std::nullopt;
  return value;
}

/// Adds without wrapping: a sum past 2^64-1 stays at 2^64-1.
std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

}  // namespace

std::string uapiTransact(const std::string& socketPath, std::string_view request) {
  return uapiTransact(socketPath, request, kUAPITimeout);
}

std::string uapiTransact(const std::string& socketPath, std::string_view request,
                         std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;

  UniqueFd fd = openUnixStreamSocket(SocketMode::blocking);
  if (!fd) throw HelperService::Err("socket() failed");
  // Bounds a connect to a full backlog, the write and every read.
  setSendTimeout(fd.get(), timeout);
  setReceiveTimeout(fd.get(), timeout);

  const auto address = unixAddress(socketPath);
  if (!address ||
      connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
    throw HelperService::Err("connect(UAPI) failed");
  }

  // One write; a short or failed write shows up as a missing answer.
  request = request.substr(0, request.find('\0'));
  sendNoSignal(fd.get(), request.data(), request.size());

  std::vector<char> buffer(kReadBufferSize, 0);
  std::string answer;
  for (;;) {
    // Each read waits only for what is left of the exchange's time, so a peer
    // that trickles bytes cannot hold the caller past the deadline either.
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left <= std::chrono::microseconds::zero()) break;
    setReceiveTimeout(fd.get(), left);
    const ssize_t got = read(fd.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    answer.append(buffer.data(), static_cast<std::size_t>(got));
    if (endsWithBlankLine(answer)) break;
  }
  fd.reset();
  return toValidUTF8(answer);
}

std::pair<std::uint64_t, std::uint64_t> parseTransferTotals(std::string_view answer) {
  constexpr std::string_view rxKey = "rx_bytes=";
  constexpr std::string_view txKey = "tx_bytes=";
  std::uint64_t received = 0;
  std::uint64_t sent = 0;
  while (!answer.empty()) {
    const auto cut = answer.find('\n');
    const std::string_view line = answer.substr(0, cut);
    answer.remove_prefix(cut == std::string_view::npos ? answer.size() : cut + 1);
    if (line.starts_with(rxKey)) {
      received = saturatingAdd(received, parseUInt64(line.substr(rxKey.size())).value_or(0));
    }
    if (line.starts_with(txKey)) {
      sent = saturatingAdd(sent, parseUInt64(line.substr(txKey.size())).value_or(0));
    }
  }
  return {received, sent};
}

std::pair<std::uint64_t, std::uint64_t> uapiTransferTotals(
    const std::optional<std::string>& socketPath) {
  return uapiTransferTotals(socketPath, kUAPITimeout);
}

std::pair<std::uint64_t, std::uint64_t> uapiTransferTotals(
    const std::optional<std::string>& socketPath, std::chrono::milliseconds timeout) {
  if (!socketPath) return {0, 0};
  try {
    return parseTransferTotals(uapiTransact(*socketPath, "get=1\n\n", timeout));
  } catch (const std::exception&) {
    return {0, 0};
  }
}

}  // namespace zorvik
