#include "netsys/gateway.h"

#include <arpa/inet.h>

#include "base/text.h"
#include "base/unicode_space.h"
#include "netsys/command_runner.h"

namespace zorvik {

std::optional<std::string> parseDefaultGateway(std::string_view routeOutput) {
  for (std::string_view line : splitDroppingEmpty(routeOutput, '\n')) {
    if (line.find("gateway:") == std::string_view::npos) continue;
    std::vector<std::string_view> pieces = splitDroppingEmpty(line, ':');
    if (pieces.empty()) return std::nullopt;
    const std::string gateway(trimSpacesAndTabs(pieces.back()));
    // Only an IPv4 address can carry the host route: blanks, an IPv6 gateway
    // ("fe80::1%en0") or an interface route ("link#5") name no gateway.
    in_addr parsed{};
    if (gateway.find('\0') != std::string::npos ||
        inet_pton(AF_INET, gateway.c_str(), &parsed) != 1) {
      return std::nullopt;
    }
    return gateway;
  }
  return std::nullopt;
}

std::optional<std::string> parseDefaultRouteInterface(std::string_view routeOutput) {
  for (std::string_view line : splitDroppingEmpty(routeOutput, '\n')) {
    if (line.find("interface:") == std::string_view::npos) continue;
    std::vector<std::string_view> pieces = splitDroppingEmpty(line, ':');
    if (pieces.empty()) return std::nullopt;
    const std::string_view name = trimSpacesAndTabs(pieces.back());
    if (name.empty()) return std::nullopt;
    return std::string(name);
  }
  return std::nullopt;
}

std::optional<std::string> lookupDefaultGateway(const std::string& routeTool) {
  std::optional<std::string> output = runToolCapturingOutput(routeTool, {"-n", "get", "default"});
  if (!output) return std::nullopt;
  return parseDefaultGateway(*output);
}

DefaultRoute lookupDefaultRoute(const std::string& routeTool) {
  std::optional<std::string> output = runToolCapturingOutput(routeTool, {"-n", "get", "default"});
  if (!output) return {};
  return {parseDefaultGateway(*output), parseDefaultRouteInterface(*output)};
}

}  // namespace zorvik
