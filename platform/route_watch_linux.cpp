#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstddef>
#include <system_error>

#include "platform/route_watch.h"

namespace zorvik {

UniqueFd RouteWatch::openRouteSocket() {
  UniqueFd socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
  if (!socket) throw std::system_error(errno, std::generic_category(), "socket(NETLINK_ROUTE)");
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_LINK;
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    throw std::system_error(errno, std::generic_category(), "bind(NETLINK_ROUTE)");
  return socket;
}

bool RouteWatch::holdsChange(const unsigned char* datagram, std::size_t length, LinkStates& links) {
  return netlinkHoldsChange(datagram, length, links);
}

}  // namespace zorvik
