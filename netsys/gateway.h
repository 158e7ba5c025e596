#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorvik {

/// The gateway of "route -n get default" output, or nothing.
std::optional<std::string> parseDefaultGateway(std::string_view routeOutput);

/// Runs `routeTool` -n get default and parses its output.
std::optional<std::string> lookupDefaultGateway(const std::string& routeTool);

}  // namespace zorvik
