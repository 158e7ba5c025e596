#include "netsys/service_order.h"

#include <optional>

#include "base/text.h"
#include "base/unicode_space.h"
#include "netsys/command_runner.h"

namespace zorvik {
namespace {

/// NAME of a "(N) NAME" or "(*) NAME" line, N decimal; nothing for any other line.
std::optional<std::string_view> serviceName(std::string_view line) {
  if (line.size() < 4 || line.front() != '(') return std::nullopt;
  const std::size_t close = line.find(") ");
  if (close == std::string_view::npos || close < 2) return std::nullopt;
  const std::string_view number = line.substr(1, close - 1);
  if (number != "*" && number.find_first_not_of("0123456789") != std::string_view::npos)
    return std::nullopt;
  const std::string_view name = trimSpacesAndTabs(line.substr(close + 2));
  if (name.empty()) return std::nullopt;
  return name;
}

/// "Hardware Port: PORT, Device: DEVICE" of such a line in parentheses (either may be
/// empty); nothing for any other line.
std::optional<std::string_view> portLine(std::string_view line) {
  if (!line.starts_with("(Hardware Port: ") || !line.ends_with(')')) return std::nullopt;
  const std::string_view inside = line.substr(1, line.size() - 2);
  if (inside.find(", Device:") == std::string_view::npos) return std::nullopt;
  return inside;
}

}  // namespace

std::vector<ListedService> parseServiceOrder(std::string_view listing) {
  std::vector<ListedService> services;
  bool portExpected = false;
  for (const std::string_view raw : split(listing, '\n')) {
    const std::string_view line = trimSpacesTabsAndLineBreaks(raw);
    if (portExpected) {
      portExpected = false;
      if (const auto identity = portLine(line)) {
        services.back().identity = *identity;
        continue;
      }
    }
    if (const auto name = serviceName(line)) {
      services.push_back({std::string(*name), {}});
      portExpected = true;
    }
  }
  return services;
}

std::vector<ListedService> listServiceOrder(const std::string& networksetup) {
  const std::optional<std::string> listing =
      runToolCapturingOutput(networksetup, {"-listnetworkserviceorder"});
  if (!listing) return {};
  return parseServiceOrder(*listing);
}

}  // namespace zorvik
