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

/// What follows `key` ("destination:") on the line it begins, trimmed: unlike routeField,
/// whole, as an IPv6 address holds colons; nothing when no line begins with it or it is empty.
std::optional<std::string> lineValue(std::string_view routeOutput, std::string_view key) {
  for (std::string_view line : splitDroppingEmpty(routeOutput, '\n')) {
    line = trimSpacesAndTabs(line);
    if (!line.starts_with(key)) continue;
    const std::string_view value = trimSpacesAndTabs(line.substr(key.size()));
    if (value.empty()) return std::nullopt;
    return std::string(value);
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

DefaultRoute lookupDefaultRoute(const std::string& routeTool) {
  return lookupRouteTo(routeTool, "default");
}

DefaultRoute lookupRouteTo(const std::string& routeTool, const std::string& destination, bool v6) {
  std::vector<std::string> arguments{"-n", "get"};
  if (v6) arguments.emplace_back("-inet6");
  arguments.push_back(destination);
  std::optional<std::string> output = runToolCapturingOutput(routeTool, arguments);
  if (!output) return {};
  return {parseDefaultGateway(*output), parseDefaultRouteInterface(*output),
          lineValue(*output, "destination:"), lineValue(*output, "mask:")};
}

std::optional<IPPrefix> matchedPrefix(const DefaultRoute& route, bool v6) {
  if (!route.destination) return std::nullopt;
  const std::string zero = v6 ? "::" : "0.0.0.0";
  const auto address = parseIPAddress(*route.destination == "default" ? zero : *route.destination);
  if (!address || address->v6 != v6) return std::nullopt;
  IPPrefix prefix{*address, address->width()};
  if (!route.mask) return prefix;
  if (*route.mask == "default") {
    prefix.length = 0;
    return prefix;
  }
  const auto mask = parseIPAddress(*route.mask);
  if (!mask || mask->v6 != v6) return std::nullopt;
  // Only leading ones make a prefix's mask.
  int length = 0;
  while (length < mask->width() && (mask->bytes[length / 8] & (0x80 >> (length % 8))) != 0)
    ++length;
  for (int bit = length; bit < mask->width(); ++bit) {
    if ((mask->bytes[bit / 8] & (0x80 >> (bit % 8))) != 0) return std::nullopt;
  }
  prefix.length = length;
  return prefix;
}

}  // namespace zorvik
