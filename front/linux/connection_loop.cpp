#include "front/linux/connection_loop.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>

#include "front/linux/request_dispatch.h"
#include "wire/line_buffer.h"

namespace zorvik {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadChunk = 64 * 1024;

int pollTimeout(std::optional<Clock::time_point> deadline, Clock::time_point now) {
  if (!deadline) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count();
  return static_cast<int>(std::max<decltype(left)>(left, 0));
}

std::optional<Clock::time_point> earlier(std::optional<Clock::time_point> a, Clock::time_point b) {
  return a ? std::min(*a, b) : b;
}

}  // namespace

void serveRequests(const std::shared_ptr<ConnectionChannel>& channel, ZorvikHelperProtocol& service,
                   const ConnectionLimits& limits, PendingBytes& pendingBytes) {
  LineBuffer lines(limits.maxLineBytes);
  // A complete line not yet handed on: reading waits until it is.
  std::optional<std::string_view> waiting;
  bool peerDone = false;
  bool requested = false;
  const auto began = Clock::now();
  auto lastActivity = began;
  // Since when queued replies wait for the peer to take any of them, when they do.
  bool stalled = false;
  Clock::time_point stalledSince{};
  char chunk[kReadChunk];

  for (;;) {
    if (channel->ending()) return;
    for (;;) {
      if (!waiting) waiting = lines.next();
      if (!waiting) break;
      const std::size_t pending = channel->pendingReplies();
      if (pending >= limits.maxPendingRequests) break;
      auto hold = pendingBytes.tryHold(waiting->size(), pending == 0, channel);
      if (!hold) break;
      dispatchRequestLine(channel, service, *waiting, std::move(*hold));
      waiting.reset();
      requested = true;
      lastActivity = Clock::now();
    }
    if (lines.overLimit()) return;

    const auto sent = channel->send();
    if (!sent) return;
    const auto now = Clock::now();
    const bool queued = channel->queuedBytes() > 0;
    const bool pending = channel->pendingReplies() > 0;
    if (*sent > 0) lastActivity = now;
    if (!queued) {
      stalled = false;
    } else if (*sent > 0 || !stalled) {
      stalled = true;
      stalledSince = now;
    }
    if (peerDone && !waiting && !pending && !queued) return;

    std::optional<Clock::time_point> deadline;
    if (!requested) {
      deadline = began + limits.firstRequestDeadline;
    } else if (!pending && !queued && !waiting) {
      deadline = lastActivity + limits.idleTimeout;
    }
    if (stalled) deadline = earlier(deadline, stalledSince + limits.sendTimeout);
    if (deadline && now >= *deadline) return;

    const short events = (peerDone || waiting ? 0 : POLLIN) | (queued ? POLLOUT : 0);
    pollfd entries[2] = {{channel->fd(), events, 0}, {channel->wakeFd(), POLLIN, 0}};
    const int ready = ::poll(entries, 2, pollTimeout(deadline, now));
    if (ready < 0 && errno != EINTR) return;
    if (ready <= 0) continue;
    if (entries[1].revents & POLLIN) channel->clearWake();
    const short revents = entries[0].revents;
    if (revents & (POLLERR | POLLNVAL)) return;
    // Gone for good, with nothing left to read: its replies could not be delivered.
    if ((revents & POLLHUP) && !(revents & POLLIN)) return;
    if (revents & POLLIN) {
      const ssize_t received = ::recv(channel->fd(), chunk, sizeof chunk, MSG_DONTWAIT);
      if (received > 0) {
        lines.append(std::string_view(chunk, static_cast<std::size_t>(received)));
        lastActivity = Clock::now();
      } else if (received == 0) {
        peerDone = true;
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        return;
      }
    }
  }
}

}  // namespace zorvik
