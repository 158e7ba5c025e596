#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "base/unique_fd.h"
#include "platform/route_messages.h"

namespace zorvik {

/// Watches the routing table for a new default route, routes deleted and interfaces
/// (the tunnel's too) going up, down or away, and reports them, coalesced, on a thread of its own.
/// Watching stops when the object is destroyed. The thread only reads its socket and calls
/// `changed`; what to do about a change is the caller's, on its own thread.
class RouteWatch {
 public:
  /// Told whether the tunnel's interface, or a route through it, was among the changes: only
  /// then may a tunnel route be gone.
  using Changed = std::function<void(bool tunnelTouched)>;

  /// Events closer together than this are reported once.
  static constexpr std::chrono::milliseconds kCoalesce{200};

  /// The system's routing socket, read on a new thread; the interface named
  /// `tunnelInterface` (the tunnel's own, up now) is reported only when it goes down or
  /// away, not as a new interface. Throws
  /// std::system_error when the socket or the thread cannot be had.
  static std::unique_ptr<RouteWatch> start(Changed changed, const std::string& tunnelInterface);

  virtual ~RouteWatch() = default;
  RouteWatch(const RouteWatch&) = delete;
  RouteWatch& operator=(const RouteWatch&) = delete;

 protected:
  RouteWatch() = default;

  enum class Read { nothing, changed, broken };

  /// Whether the messages waiting on `socket` hold a change worth reporting. Reads
  /// all that waits without blocking; `broken` when the socket fails for good.
  static Read readRouteChanges(int socket, LinkStates& links);

  // The platform's half: its routing socket (throws when there is none), and
  // whether one datagram read from it holds a change worth reporting.
  static UniqueFd openRouteSocket();
  static bool holdsChange(const unsigned char* datagram, std::size_t length, LinkStates& links);
};

}  // namespace zorvik
