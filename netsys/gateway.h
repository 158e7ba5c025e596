#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/ip_address.h"

namespace zorvik {

/// The gateway of "route -n get default" output, or nothing.
std::optional<std::string> parseDefaultGateway(std::string_view routeOutput);

/// The interface of "route -n get default" output, or nothing.
std::optional<std::string> parseDefaultRouteInterface(std::string_view routeOutput);

/// A route as one "route -n get" shows it (the default route, or the one a host takes).
struct DefaultRoute {
  std::optional<std::string> gateway;  ///< as parseDefaultGateway gives it
  std::optional<std::string> interface;
  /// The destination of the route that matched: the address itself for a host route,
  /// "default", or a network's address.
  std::optional<std::string> destination;
  /// Its mask as printed ("128.0.0.0", "ffff::", "default"); none for a host route.
  std::optional<std::string> mask;
};

/// The route that matched, as a prefix of the family of `v6`: its destination ("default"
/// is the zero address, as route(8) prints 0.0.0.0) with the length of its mask, the
/// family's width without one. Nothing when either does not read.
std::optional<IPPrefix> matchedPrefix(const DefaultRoute& route, bool v6);

/// Runs `routeTool` -n get default once and parses both.
DefaultRoute lookupDefaultRoute(const std::string& routeTool);

/// Runs `routeTool` -n get `destination` once and parses its gateway and interface as
/// for the default route: the route the kernel would take to that address now.
/// With `v6`, "-inet6" goes before the destination.
DefaultRoute lookupRouteTo(const std::string& routeTool, const std::string& destination,
                           bool v6 = false);

}  // namespace zorvik
