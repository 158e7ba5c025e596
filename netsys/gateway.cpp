#include "netsys/gateway.h"

#include <arpa/inet.h>

#include "base/text.h"
#include "base/unicode_space.h"
#include "netsys/command_runner.h"

namespace zorvik {

namespace {

/// The last colon-separated piece, trimmed, of the first line naming `key`; nothing
/// when no line does or that line has no piece.
std::optional<std::string_view> routeField(std::string_view routeOutput, std::string_view key) {
  for (std::string_view line : splitDroppingEmpty(routeOutput, '\n')) {
    if (line.find(key) == std::string_view::npos) continue;
    std::vector<std::string_view> pieces = splitDroppingEmpty(line, ':');
    if (pieces.empty()) return std::nullopt;
    return trimSpacesAndTabs(pieces.back());
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> parseDefaultGateway(std::string_view routeOutput) {
  const std::optional<std::string_view> field = routeField(routeOutput, "gateway:");
  if (!field) return std::nullopt;
  const std::string gateway(*field);
  // Only an IPv4 address can carry the host route: blanks, an IPv6 gateway
  // ("fe80::1%en0") or an interface route ("link#5") name no gateway.
  in_addr parsed{};
  if (gateway.find('\0') != std::string::npos ||
      inet_pton(AF_INET, gateway.c_str(), &parsed) != 1) {
    return std::nullopt;
  }
  return gateway;
}

std::optional<std::string> parseDefaultRouteInterface(std::string_view routeOutput) {
  const std::optional<std::string_view> field = routeField(routeOutput, "interface:");
  if (!field || field->empty()) return std::nullopt;
  return std::string(*field);
}

std::optional<std::string> lookupDefaultGateway(const std::string& routeTool) {
  return lookupDefaultRoute(routeTool).gateway;
}

DefaultRoute lookupDefaultRoute(const std::string& routeTool) {
  return lookupRouteTo(routeTool, "default");
}

DefaultRoute lookupRouteTo(const std::string& routeTool, const std::string& destination) {
  std::optional<std::string> output = runToolCapturingOutput(routeTool, {"-n", "get", destination});
  if (!output) return {};
  std::optional<std::string> matched;
  if (const auto field = routeField(*output, "destination:"); field && !field->empty())
    matched = std::string(*field);
  return {parseDefaultGateway(*output), parseDefaultRouteInterface(*output), matched};
}

}  // namespace zorvik
