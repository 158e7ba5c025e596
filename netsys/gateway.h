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

/// The default route as one "route -n get default" shows it.
struct DefaultRoute {
  std::optional<std::string> gateway;  ///< as parseDefaultGateway gives it
  std::optional<std::string> interface;
};

/// Runs `routeTool` -n get default once and parses both.
DefaultRoute lookupDefaultRoute(const std::string& routeTool);

}  // namespace zorvik
