#include <linux/if.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstring>
#include <string_view>

#include "base/unaligned_read.h"
#include "platform/route_messages.h"

namespace zorvik {
namespace {

// The payload of the first attribute of `type` among `attributes` (`length` bytes).
std::optional<std::string_view> attribute(const unsigned char* attributes, std::size_t length,
                                          unsigned short type) {
  std::size_t offset = 0;
  while (length - offset >= sizeof(rtattr)) {
    const auto header = readAt<rtattr>(attributes + offset);
    if (header.rta_len < sizeof(rtattr) || header.rta_len > length - offset) break;
    if (header.rta_type == type) {
      return std::string_view(reinterpret_cast<const char*>(attributes + offset + RTA_LENGTH(0)),
                              header.rta_len - RTA_LENGTH(0));
    }
    const std::size_t next = RTA_ALIGN(header.rta_len);
    if (next >= length - offset) break;
    offset += next;
  }
  return std::nullopt;
}

// The IFLA_IFNAME attribute of a link message's `attributes` (`length` bytes).
std::optional<std::string> linkName(const unsigned char* attributes, std::size_t length) {
  const auto text = attribute(attributes, length, IFLA_IFNAME);
  if (!text) return std::nullopt;
  return std::string(text->data(), strnlen(text->data(), text->size()));
}

// The RTA_OIF of a route message's `attributes`; 0 when it has none (a multipath route).
unsigned routeInterface(const unsigned char* attributes, std::size_t length) {
  const auto index = attribute(attributes, length, RTA_OIF);
  if (!index || index->size() != sizeof(std::uint32_t)) return 0;
  return readAt<std::uint32_t>(reinterpret_cast<const unsigned char*>(index->data()));
}

// Multicast on NETLINK_ROUTE comes from the kernel alone, for its own changes and for
// those a process asked for; both are real. Acknowledgements and errors (NLMSG_ERROR,
// NLMSG_DONE) only answer requests, and this socket makes none.
bool isChange(const unsigned char* message, std::size_t length, LinkStates& links) {
  const auto header = readAt<nlmsghdr>(message);
  switch (header.nlmsg_type) {
    case RTM_NEWROUTE:
    case RTM_DELROUTE: {
      if (length < NLMSG_LENGTH(sizeof(rtmsg))) return false;
      const auto route = readAt<rtmsg>(message + NLMSG_HDRLEN);
      if (route.rtm_table != RT_TABLE_MAIN || (route.rtm_flags & RTM_F_CLONED) != 0) return false;
      // Any route gone may be one the tunnel added (its host route, its routes through the
      // tunnel); of the routes added, only a new IPv4 default route is news.
      if (header.nlmsg_type == RTM_DELROUTE) {
        if (route.rtm_family != AF_INET && route.rtm_family != AF_INET6) return false;
        const std::size_t attributes = NLMSG_LENGTH(NLMSG_ALIGN(sizeof(rtmsg)));
        links.routeDeleted(
            length > attributes ? routeInterface(message + attributes, length - attributes) : 0);
        return true;
      }
      return route.rtm_family == AF_INET && route.rtm_dst_len == 0;
    }
    case RTM_NEWLINK:
    case RTM_DELLINK: {
      const std::size_t attributes = NLMSG_LENGTH(NLMSG_ALIGN(sizeof(ifinfomsg)));
      if (length < NLMSG_LENGTH(sizeof(ifinfomsg))) return false;
      const auto link = readAt<ifinfomsg>(message + NLMSG_HDRLEN);
      const auto name =
          length > attributes ? linkName(message + attributes, length - attributes) : std::nullopt;
      // Links report counters, MTUs and more; only up and running counts.
      const unsigned both = IFF_UP | IFF_RUNNING;
      const bool up = header.nlmsg_type == RTM_NEWLINK && (link.ifi_flags & both) == both;
      return links.changed(static_cast<unsigned>(link.ifi_index), name, up);
    }
    default:
      return false;
  }
}

}  // namespace

bool netlinkHoldsChange(const unsigned char* datagram, std::size_t length, LinkStates& links) {
  // NLMSG_OK and NLMSG_NEXT, without their signed and unsigned comparisons and
  // stopping at the last whole message: its padding may be cut off the datagram.
  std::size_t offset = 0;
  bool changed = false;
  while (length - offset >= sizeof(nlmsghdr)) {
    const auto header = readAt<nlmsghdr>(datagram + offset);
    if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > length - offset) break;
    if (isChange(datagram + offset, header.nlmsg_len, links)) changed = true;
    const std::size_t next = NLMSG_ALIGN(header.nlmsg_len);
    if (next >= length - offset) break;
    offset += next;
  }
  return changed;
}

}  // namespace zorvik
