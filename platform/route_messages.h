#pragma once
// Judging routing-socket datagrams: which of them hold a change the tunnel must look at.
// Plain byte parsing, with the message layouts written out, so both platforms' parsers
// build and are tested anywhere.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

namespace zorvik {

/// What the route watch remembers of the interfaces between datagrams: which one is
/// the tunnel's (up when the watch starts), and the up-and-running state last seen of each.
class LinkStates {
 public:
  /// An interface as the system shows it now.
  struct Link {
    std::string name;
    bool upAndRunning = false;
  };
  /// Looks interface `index` up now; nothing when it is gone.
  using Lookup = std::function<std::optional<Link>(unsigned index)>;

  LinkStates(unsigned tunnelIndex, Lookup lookup);

  /// Whether interface `index`, named `name` (when known) and now `upAndRunning` or
  /// not, is a change worth reporting: the tunnel's or not one of the system's own
  /// (awdl, llw, other utun), and first seen or changed since last seen.
  bool changed(unsigned index, const std::optional<std::string>& name, bool upAndRunning);
  /// The same, with name and state from the lookup (an interface gone is down).
  bool changedNow(unsigned index);
  /// Notes that a route through interface `index` (0: not known) went away.
  void routeDeleted(unsigned index);
  /// Whether, since the last call, the tunnel's interface changed or a route through it (or
  /// through an interface not known) went away: only then can a tunnel route be gone.
  bool takeTunnelTouched();

 private:
  bool isTunnel(unsigned index) const { return tunnelIndex_ != 0 && index == tunnelIndex_; }

  unsigned tunnelIndex_;
  bool tunnelTouched_ = false;
  Lookup lookup_;
  std::unordered_map<unsigned, bool> upAndRunning_;
};

/// Whether a PF_ROUTE datagram (the macOS routing socket) holds a change: the
/// default route added, deleted or changed, a static route deleted, or an interface's
/// up/running state.
bool pfRouteHoldsChange(const unsigned char* datagram, std::size_t length, LinkStates& links);

/// Whether a NETLINK_ROUTE datagram (Linux) holds such a change. Linux only.
bool netlinkHoldsChange(const unsigned char* datagram, std::size_t length, LinkStates& links);

/// The macOS routing messages' layouts and values the parser reads (net/route.h,
/// net/if.h, sys/socket.h): the same on arm64 and x86_64, checked against the real
/// headers where they are compiled.
namespace pf_route {
inline constexpr unsigned char kVersion = 5;
inline constexpr unsigned char kAdd = 0x1, kDelete = 0x2, kChange = 0x3, kIfInfo = 0xe;
// rt_msghdr
inline constexpr std::size_t kRouteHeaderSize = 92;
inline constexpr std::size_t kMsgLenOffset = 0, kVersionOffset = 2, kTypeOffset = 3;
inline constexpr std::size_t kRouteIndexOffset = 4;
inline constexpr std::size_t kRouteFlagsOffset = 8, kRouteAddrsOffset = 12, kRouteErrnoOffset = 24;
// if_msghdr
inline constexpr std::size_t kLinkHeaderSize = 112;
inline constexpr std::size_t kLinkIndexOffset = 12;
inline constexpr int kHostFlag = 0x4;                                // RTF_HOST
inline constexpr int kStaticFlag = 0x800, kWasClonedFlag = 0x20000;  // RTF_STATIC, RTF_WASCLONED
inline constexpr int kDestinationBit = 0, kNetmaskBit = 2, kAddressSlots = 8;  // RTAX_*
inline constexpr unsigned char kInetFamily = 2;                                // AF_INET
// sockaddr / sockaddr_in
inline constexpr std::size_t kSockaddrHeader = 2, kInetAddressOffset = 4, kInetSockaddrSize = 16;
}  // namespace pf_route

}  // namespace zorvik
