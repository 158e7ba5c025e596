#include "config/uapi_client.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/service_error.h"
#include "base/text.h"
#include "base/unique_fd.h"
#include "base/unix_address.h"
#include "base/utf8.h"
#include "platform/socket_io.h"

namespace zorvik {
namespace {

constexpr std::size_t kReadBufferSize = 4096;
// No answer of a working daemon comes near this; a flood ends here like end of stream.
constexpr std::size_t kMaxAnswerBytes = std::size_t{1} << 20;

bool endsWithBlankLine(const std::string& answer) {
  return answer.size() >= 2 && answer[answer.size() - 1] == '\n' &&
         answer[answer.size() - 2] == '\n';
}

/// Adds without wrapping: a sum past 2^64-1 stays at 2^64-1.
std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

}  // namespace

std::string uapiTransact(const std::string& socketPath, std::string_view request,
                         std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + timeout;

  UniqueFd fd = openUnixStreamSocket(SocketMode::blocking);
  if (!fd) throw ServiceError("socket() failed");
  // Bounds a connect to a full backlog, the write and every read.
  setSendTimeout(fd.get(), timeout);
  setReceiveTimeout(fd.get(), timeout);

  const auto address = unixSocketAddress(socketPath);
  if (!address || !connectUnixSocket(fd.get(), *address)) {
    throw ServiceError("connect(UAPI) failed");
  }

  // Connect, send and every read share the one deadline.
  setSendTimeout(fd.get(),
                 std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()));
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
    if (answer.size() >= kMaxAnswerBytes) {
      answer.resize(kMaxAnswerBytes);
      break;
    }
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
  for (const std::string_view line : split(answer, '\n')) {
    if (line.starts_with(rxKey)) {
      received = saturatingAdd(received, parseUInt64(line.substr(rxKey.size())).value_or(0));
    }
    if (line.starts_with(txKey)) {
      sent = saturatingAdd(sent, parseUInt64(line.substr(txKey.size())).value_or(0));
    }
  }
  return {received, sent};
}

std::optional<std::chrono::system_clock::time_point> parseLastHandshake(std::string_view answer) {
  constexpr std::string_view secKey = "last_handshake_time_sec=";
  constexpr std::string_view nsecKey = "last_handshake_time_nsec=";
  // Past this the time does not fit the clock; no daemon reports such a time.
  constexpr std::uint64_t kLatestSecond = std::uint64_t{1} << 33;
  constexpr std::uint64_t kNanosPerSecond = 1000000000;
  using std::chrono::nanoseconds;
  using std::chrono::seconds;
  std::optional<std::chrono::system_clock::time_point> latest;
  std::uint64_t sec = 0;
  std::uint64_t nsec = 0;
  const auto endPeer = [&] {
    if ((sec != 0 || nsec != 0) && sec <= kLatestSecond && nsec < kNanosPerSecond) {
      const std::chrono::system_clock::time_point at(
          std::chrono::duration_cast<std::chrono::system_clock::duration>(
              seconds(static_cast<std::int64_t>(sec)) +
              nanoseconds(static_cast<std::int64_t>(nsec))));
      if (!latest || at > *latest) latest = at;
    }
    sec = 0;
    nsec = 0;
  };
  for (const std::string_view line : split(answer, '\n')) {
    if (line.starts_with("public_key=")) endPeer();
    // A value that is not a number in range counts as past the clock: that peer is left out.
    if (line.starts_with(secKey))
      sec = parseUInt64(line.substr(secKey.size())).value_or(UINT64_MAX);
    if (line.starts_with(nsecKey))
      nsec = parseUInt64(line.substr(nsecKey.size())).value_or(UINT64_MAX);
  }
  endPeer();
  return latest;
}

DaemonCounters uapiDaemonCounters(const std::optional<std::string>& socketPath,
                                  std::chrono::milliseconds timeout) {
  if (!socketPath) return {};
  try {
    const std::string answer = uapiTransact(*socketPath, "get=1\n\n", timeout);
    bool answered = false;
    for (const std::string_view line : split(answer, '\n'))
      answered = answered || line == "errno=0";
    if (!answered) return {};
    const auto [received, sent] = parseTransferTotals(answer);
    return {true, received, sent, parseLastHandshake(answer)};
  } catch (const std::exception&) {
    return {};
  }
}

std::optional<std::uint64_t> handshakeAgeSeconds(const DaemonCounters& counters,
                                                 std::chrono::system_clock::time_point now) {
  if (!counters.lastHandshake) return std::nullopt;
  if (now <= *counters.lastHandshake) return 0;
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::seconds>(now - *counters.lastHandshake).count());
}

}  // namespace zorvik
