#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstddef>
#include <system_error>

#include "platform/route_watch.h"

namespace zorvik {
namespace {

bool isChange(const nlmsghdr& message, unsigned ignoredIndex) {
  switch (message.nlmsg_type) {
    case RTM_NEWROUTE:
    case RTM_DELROUTE: {
      if (message.nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) return false;
      const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(&message));
      // Only the default route: the host and half-space routes are our own.
      return route->rtm_family == AF_INET && route->rtm_dst_len == 0 &&
             route->rtm_table == RT_TABLE_MAIN;
    }
    case RTM_NEWLINK:
    case RTM_DELLINK: {
      if (message.nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return false;
      const auto* link = static_cast<const ifinfomsg*>(NLMSG_DATA(&message));
      return ignoredIndex == 0 || static_cast<unsigned>(link->ifi_index) != ignoredIndex;
    }
    default:
      return false;
  }
}

}  // namespace

UniqueFd RouteWatch::openRouteSocket() {
  UniqueFd socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
  if (!socket) throw std::system_error(errno, std::generic_category(), "socket(NETLINK_ROUTE)");
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = RTMGRP_IPV4_ROUTE | RTMGRP_LINK;
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    throw std::system_error(errno, std::generic_category(), "bind(NETLINK_ROUTE)");
  return socket;
}

bool RouteWatch::holdsChange(const unsigned char* datagram, std::size_t length,
                             unsigned ignoredIndex) {
  // NLMSG_OK and NLMSG_NEXT, without their signed and unsigned comparisons.
  std::size_t offset = 0;
  bool changed = false;
  while (length - offset >= sizeof(nlmsghdr)) {
    // The buffer is aligned, and messages start on 4-byte boundaries.
    const auto& message = *reinterpret_cast<const nlmsghdr*>(datagram + offset);
    if (message.nlmsg_len < sizeof(nlmsghdr) || message.nlmsg_len > length - offset) break;
    if (isChange(message, ignoredIndex)) changed = true;
    offset += NLMSG_ALIGN(message.nlmsg_len);
  }
  return changed;
}

}  // namespace zorvik
