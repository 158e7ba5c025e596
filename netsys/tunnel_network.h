#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/ip_address.h"

namespace zorvik {

// The tunnel's steps on the host's interfaces and routes, one name each, as the bring-up,
// the teardown and the network follower call them. Each runs its tool with fixed argument
// lists and returns the tool's status as runTool gives it (0 when every run succeeded).

/// What the tunnel interface gets: its IPv4 address, its MTU, its IPv6 addresses.
struct InterfaceSettings {
  std::string ipv4Address;
  std::int64_t mtu = 0;
  std::vector<IPPrefix> ipv6Addresses;
};

/// The routes a tunnel needs, worked out from its AllowedIPs before any is made.
struct TunnelRoutes {
  /// Through the interface; none covers the server's address.
  std::vector<IPPrefix> ipv4;
  /// Through the interface; only when it has an IPv6 address.
  std::vector<IPPrefix> ipv6;
  /// IPv6 the tunnel does not carry while it carries everything else: refused on the
  /// host rather than sent around the tunnel. These outlive the interface.
  std::vector<IPPrefix> rejectedIPv6;
};

/// The routes for `allowed` on a tunnel to `server`: every IPv4 range, a range that holds
/// the server as its parts around it; the IPv6 ranges when `interfaceHasIPv6` (::/0 as
/// its two halves); and while the whole IPv4 space or ::/0 is allowed, the halves of the
/// IPv6 space that the IPv6 routes leave uncovered, to be rejected. Duplicates go.
TunnelRoutes planTunnelRoutes(const std::vector<IPPrefix>& allowed, const IPAddress& server,
                              bool interfaceHasIPv6);

/// Address and destination (point to point), MTU, up, then each IPv6 address.
int configureInterface(const std::string& ifconfig, const std::string& iface,
                       const InterfaceSettings& settings);

/// Whether `iface` is up now, by "ifconfig IFACE": nothing when the tool cannot show it
/// (the interface is gone).
std::optional<bool> interfaceIsUp(const std::string& ifconfig, const std::string& iface);
/// Brings `iface` up again.
int bringInterfaceUp(const std::string& ifconfig, const std::string& iface);

/// The host route to the server through the old default gateway.
int addHostRoute(const std::string& route, const std::string& serverIP, const std::string& gateway);
int deleteHostRoute(const std::string& route, const std::string& serverIP,
                    const std::string& gateway);

/// Whether `prefix` is routed through `iface` now: one "route -n get" of its first address
/// matches a route of exactly that prefix on that interface. Where a longer route inside it
/// answers for that address (the local network's), its last address is looked up too, and
/// a prefix shadowed at both ends counts as there. One look-up per route, not a table
/// listing: route(8) has none that macOS and the stand-in print alike, and a full tunnel's
/// 32 look-ups cost about as much as its 32 adds.
bool tunnelRouteInPlace(const std::string& route, const std::string& iface, const IPPrefix& prefix);

/// One route of a tunnel through `iface`.
int addTunnelRoute(const std::string& route, const std::string& iface, const IPPrefix& prefix);

/// Each IPv4 and IPv6 route of `routes` through `iface` (not the rejected ones), each
/// checked after its add (the status, then tunnelRouteInPlace): the first that did not
/// take, after which no other is added; nothing when all did.
std::optional<IPPrefix> addTunnelRoutes(const std::string& route, const std::string& iface,
                                        const TunnelRoutes& routes);

/// A route that refuses what it matches at once, on the loopback's address.
int addRejectRoute(const std::string& route, const IPPrefix& prefix);
int deleteRejectRoute(const std::string& route, const IPPrefix& prefix);

}  // namespace zorvik
