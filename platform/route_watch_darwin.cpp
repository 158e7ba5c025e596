#include <fcntl.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstddef>
#include <system_error>

#include "platform/route_watch.h"

namespace zorvik {
namespace {

// The parser reads the messages by the layouts it writes out; they must be the SDK's.
namespace layout = pf_route;
static_assert(layout::kVersion == RTM_VERSION);
static_assert(layout::kAdd == RTM_ADD && layout::kDelete == RTM_DELETE &&
              layout::kChange == RTM_CHANGE && layout::kIfInfo == RTM_IFINFO);
static_assert(layout::kRouteHeaderSize == sizeof(rt_msghdr));
static_assert(layout::kMsgLenOffset == offsetof(rt_msghdr, rtm_msglen) &&
              layout::kVersionOffset == offsetof(rt_msghdr, rtm_version) &&
              layout::kTypeOffset == offsetof(rt_msghdr, rtm_type) &&
              layout::kRouteFlagsOffset == offsetof(rt_msghdr, rtm_flags) &&
              layout::kRouteAddrsOffset == offsetof(rt_msghdr, rtm_addrs) &&
              layout::kRouteErrnoOffset == offsetof(rt_msghdr, rtm_errno));
static_assert(layout::kLinkHeaderSize == sizeof(if_msghdr) &&
              layout::kLinkIndexOffset == offsetof(if_msghdr, ifm_index) &&
              layout::kMsgLenOffset == offsetof(if_msghdr, ifm_msglen) &&
              layout::kTypeOffset == offsetof(if_msghdr, ifm_type));
static_assert(layout::kStaticFlag == RTF_STATIC && layout::kWasClonedFlag == RTF_WASCLONED);
static_assert(layout::kHostFlag == RTF_HOST && layout::kDestinationBit == RTAX_DST &&
              layout::kNetmaskBit == RTAX_NETMASK && layout::kAddressSlots == RTAX_MAX);
static_assert(layout::kInetFamily == AF_INET &&
              layout::kSockaddrHeader == offsetof(sockaddr, sa_data) &&
              layout::kInetAddressOffset == offsetof(sockaddr_in, sin_addr) &&
              layout::kInetSockaddrSize == sizeof(sockaddr_in));

}  // namespace

UniqueFd RouteWatch::openRouteSocket() {
  // Protocol 0: every family, since interface messages carry none.
  UniqueFd socket(::socket(PF_ROUTE, SOCK_RAW, 0));
  if (!socket) throw std::system_error(errno, std::generic_category(), "socket(PF_ROUTE)");
  if (::fcntl(socket.get(), F_SETFD, FD_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "fcntl(PF_ROUTE)");
  return socket;
}

bool RouteWatch::holdsChange(const unsigned char* datagram, std::size_t length, LinkStates& links) {
  return pfRouteHoldsChange(datagram, length, links);
}

}  // namespace zorvik
