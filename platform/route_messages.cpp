#include "platform/route_messages.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "base/unaligned_read.h"

namespace zorvik {
namespace {

// Interfaces the system makes and changes on its own (AirDrop, low-latency WLAN,
// other programs' tunnels): none of them carries the default route we follow.
bool isSystemLink(std::string_view name) {
  for (std::string_view prefix : {"awdl", "llw", "utun"}) {
    if (name.substr(0, prefix.size()) == prefix) return true;
  }
  return false;
}

// A routing message's addresses follow its header, each padded to 4 bytes; a zero
// length still takes 4 (the kernel's SA_SIZE).
std::size_t paddedLength(unsigned char length) {
  if (length == 0) return sizeof(std::uint32_t);
  return 1 + ((length - 1u) | (sizeof(std::uint32_t) - 1));
}

bool isDefaultRoute(const unsigned char* message, std::size_t length) {
  using namespace pf_route;
  const auto flags = readAt<std::int32_t>(message + kRouteFlagsOffset);
  const auto addresses = readAt<std::int32_t>(message + kRouteAddrsOffset);
  if ((addresses & (1 << kDestinationBit)) == 0 || (flags & kHostFlag) != 0) return false;
  std::size_t offset = kRouteHeaderSize;
  std::optional<std::size_t> destination;
  std::optional<std::size_t> mask;
  for (int bit = 0; bit < kAddressSlots; ++bit) {
    if ((addresses & (1 << bit)) == 0) continue;
    if (offset + kSockaddrHeader > length) return false;
    if (bit == kDestinationBit) destination = offset;
    if (bit == kNetmaskBit) mask = offset;
    offset += paddedLength(message[offset]);
  }
  if (offset > length) return false;
  // Every address lies whole within the message now.
  const unsigned char* target = message + *destination;
  if (target[1] != kInetFamily || target[0] < kInetSockaddrSize) return false;
  if (readAt<std::uint32_t>(target + kInetAddressOffset) != 0) return false;
  if (!mask) return true;
  // Netmasks come shortened: only the bytes up to the last set one are there. A
  // mask of its own on 0.0.0.0 is the tunnel's 0.0.0.0/1, not the default.
  const unsigned char* bits = message + *mask;
  for (std::size_t i = kInetAddressOffset; i < bits[0] && i < kInetAddressOffset + 4; ++i) {
    if (bits[i] != 0) return false;
  }
  return true;
}

}  // namespace

LinkStates::LinkStates(unsigned tunnelIndex, Lookup lookup)
    : tunnelIndex_(tunnelIndex), lookup_(std::move(lookup)) {
  // The watch starts on a tunnel that is up: only its going down or away is news.
  if (tunnelIndex_ != 0) upAndRunning_.emplace(tunnelIndex_, true);
}

bool LinkStates::changed(unsigned index, const std::optional<std::string>& name,
                         bool upAndRunning) {
  const bool tunnel = isTunnel(index);
  // The tunnel is a utun too, and may have been renamed.
  if (!tunnel && name && isSystemLink(*name)) return false;
  const auto [seen, first] = upAndRunning_.try_emplace(index, upAndRunning);
  if (!first && seen->second == upAndRunning) return false;
  seen->second = upAndRunning;
  if (tunnel) tunnelTouched_ = true;
  return true;
}

void LinkStates::routeDeleted(unsigned index) {
  if (index == 0 || isTunnel(index)) tunnelTouched_ = true;
}

bool LinkStates::takeTunnelTouched() { return std::exchange(tunnelTouched_, false); }

bool LinkStates::changedNow(unsigned index) {
  const std::optional<Link> link = lookup_ ? lookup_(index) : std::nullopt;
  if (link) return changed(index, link->name, link->upAndRunning);
  // Gone: a change only for one last seen up. An index never seen and not there
  // is nobody's, and is not remembered.
  const auto seen = upAndRunning_.find(index);
  if (seen == upAndRunning_.end()) return false;
  const bool wasUp = seen->second;
  upAndRunning_.erase(seen);
  if (wasUp && isTunnel(index)) tunnelTouched_ = true;
  return wasUp;
}

bool pfRouteHoldsChange(const unsigned char* datagram, std::size_t length, LinkStates& links) {
  using namespace pf_route;
  // One message per datagram, as long as its header says. A request refused for its
  // length is passed on to every listener exactly as the process wrote it, so a
  // header that disagrees with the datagram was not written by the kernel.
  if (length < kTypeOffset + 1 || readAt<std::uint16_t>(datagram + kMsgLenOffset) != length ||
      datagram[kVersionOffset] != kVersion)
    return false;
  switch (datagram[kTypeOffset]) {
    case kAdd:
    case kDelete:
    case kChange:
      // Every process's route request is passed on to all listeners, refused ones
      // too, with their error: those changed nothing. The sender (rtm_pid) is not
      // judged: the system's own daemon adding a new default route is a process
      // too, and that is the change we are here for. Our own lookups are RTM_GET.
      if (length < kRouteHeaderSize || readAt<std::int32_t>(datagram + kRouteErrnoOffset) != 0)
        return false;
      // A static route gone may be one the tunnel added (its host route, its routes through
      // utun); the kernel's own clones (ARP and neighbour entries) come and go all the time.
      if (datagram[kTypeOffset] == kDelete) {
        const auto flags = readAt<std::int32_t>(datagram + kRouteFlagsOffset);
        if ((flags & kStaticFlag) != 0 && (flags & kWasClonedFlag) == 0) {
          links.routeDeleted(readAt<std::uint16_t>(datagram + kRouteIndexOffset));
          return true;
        }
      }
      return isDefaultRoute(datagram, length);
    case kIfInfo:
      // Only the kernel makes these, but a process's refused request of this type
      // reaches every listener too, with flags of its own choosing: the message
      // only names the interface, whose state is looked up.
      if (length < kLinkHeaderSize) return false;
      return links.changedNow(readAt<std::uint16_t>(datagram + kLinkIndexOffset));
    default:
      return false;
  }
}

}  // namespace zorvik
