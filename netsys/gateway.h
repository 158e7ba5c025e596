#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorvik {

/// The gateway of "route -n get default" output, or nothing.
std::optional<std::string> parseDefaultGateway(std::string_view routeOutput);

/// The interface of "route -n get default" output, or nothing.
std::optional<std::string> parseDefaultRouteInterface(std::string_view routeOutput);

/// Runs `routeTool` -n get default and parses its output.
std::optional<std::string> lookupDefaultGateway(const std::string& routeTool);

/// A route as one "route -n get" shows it (the default route, or the one a host takes).
struct DefaultRoute {
  std::optional<std::string> gateway;  ///< as parseDefaultGateway gives it
  std::optional<std::string> interface;
  /// The destination of the route that matched: the address itself for a host route,
  /// "default", or a network's address.
  std::optional<std::string> destination;
};

/// Runs `routeTool` -n get default once and parses both.
DefaultRoute lookupDefaultRoute(const std::string& routeTool);

/// Runs `routeTool` -n get `destination` once and parses its gateway and interface as
/// for the default route: the route the kernel would take to that address now.
DefaultRoute lookupRouteTo(const std::string& routeTool, const std::string& destination);

}  // namespace zorvik
