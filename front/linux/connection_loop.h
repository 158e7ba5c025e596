#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

#include "front/linux/connection_channel.h"
#include "front/linux/pending_bytes.h"
#include "service/helper_protocol.h"

namespace zorvik {

/// What one admitted connection may take.
struct ConnectionLimits {
  std::size_t maxLineBytes;
  std::size_t maxPendingRequests;
  std::chrono::milliseconds firstRequestDeadline;
  std::chrono::milliseconds idleTimeout;
  std::chrono::milliseconds sendTimeout;
};

/// Serves an admitted connection on its own thread until the peer is done or a limit ends it:
/// reads request lines and hands each to `service`, at most `maxPendingRequests` of them
/// waiting for their replies (the rest stays unread in the socket meanwhile), and sends the
/// replies queued on `channel`. Returns when the peer closed the connection (a peer that only
/// half-closed gets its replies first), sent a line over the limit, sent no request by the
/// first-request deadline, sent nothing while nothing was pending for the idle time-out, took
/// none of its queued replies for the send time-out, or when the channel is dropped or
/// abandoned.
void serveRequests(const std::shared_ptr<ConnectionChannel>& channel, ZorvikHelperProtocol& service,
                   const ConnectionLimits& limits, PendingBytes& pendingBytes);

}  // namespace zorvik
