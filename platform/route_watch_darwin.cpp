#include <fcntl.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "platform/route_watch.h"

namespace zorvik {
namespace {

// A routing message's addresses follow its header, each padded to 4 bytes; a
// zero length still takes 4 (the kernel's SA_SIZE).
std::size_t paddedLength(const sockaddr& address) {
  if (address.sa_len == 0) return sizeof(std::uint32_t);
  return 1 + ((address.sa_len - 1) | (sizeof(std::uint32_t) - 1));
}

// Netmasks come shortened: only the bytes up to the last set one are there.
bool isZeroIPv4Mask(const sockaddr& mask) {
  const std::size_t start = offsetof(sockaddr_in, sin_addr);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&mask);
  for (std::size_t i = start; i < mask.sa_len && i < start + sizeof(in_addr); ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

bool isDefaultRoute(const rt_msghdr& header, std::size_t length) {
  if ((header.rtm_addrs & RTA_DST) == 0 || (header.rtm_flags & RTF_HOST) != 0) return false;
  const auto* base = reinterpret_cast<const unsigned char*>(&header);
  std::size_t offset = sizeof(rt_msghdr);
  const sockaddr* destination = nullptr;
  const sockaddr* mask = nullptr;
  for (int bit = 0; bit < RTAX_MAX; ++bit) {
    if ((header.rtm_addrs & (1 << bit)) == 0) continue;
    if (offset + offsetof(sockaddr, sa_data) > length) return false;
    const auto* address = reinterpret_cast<const sockaddr*>(base + offset);
    if (bit == RTAX_DST) destination = address;
    if (bit == RTAX_NETMASK) mask = address;
    offset += paddedLength(*address);
  }
  if (destination == nullptr || destination->sa_family != AF_INET ||
      destination->sa_len < sizeof(sockaddr_in) || offset > length)
    return false;
  in_addr target{};
  std::memcpy(&target,
              reinterpret_cast<const unsigned char*>(destination) + offsetof(sockaddr_in, sin_addr),
              sizeof target);
  // 0.0.0.0 with a mask of its own is the tunnel's 0.0.0.0/1, not the default.
  return target.s_addr == INADDR_ANY && (mask == nullptr || isZeroIPv4Mask(*mask));
}

bool isChange(const unsigned char* message, std::size_t length, unsigned ignoredIndex) {
  if (length < offsetof(rt_msghdr, rtm_index)) return false;
  const auto* header = reinterpret_cast<const rt_msghdr*>(message);
  if (header->rtm_version != RTM_VERSION || header->rtm_msglen > length) return false;
  switch (header->rtm_type) {
    case RTM_ADD:
    case RTM_DELETE:
    case RTM_CHANGE:
      return length >= sizeof(rt_msghdr) && isDefaultRoute(*header, header->rtm_msglen);
    case RTM_IFINFO: {
      if (length < sizeof(if_msghdr)) return false;
      const auto* link = reinterpret_cast<const if_msghdr*>(message);
      return ignoredIndex == 0 || link->ifm_index != ignoredIndex;
    }
    default:
      return false;
  }
}

}  // namespace

UniqueFd RouteWatch::openRouteSocket() {
  // Protocol 0: every family, since interface messages carry none.
  UniqueFd socket(::socket(PF_ROUTE, SOCK_RAW, 0));
  if (!socket) throw std::system_error(errno, std::generic_category(), "socket(PF_ROUTE)");
  if (::fcntl(socket.get(), F_SETFD, FD_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "fcntl(PF_ROUTE)");
  return socket;
}

bool RouteWatch::holdsChange(const unsigned char* datagram, std::size_t length,
                             unsigned ignoredIndex) {
  // One routing message per datagram; its header says how long it is.
  return isChange(datagram, length, ignoredIndex);
}

}  // namespace zorvik
