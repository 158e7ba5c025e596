#include "netsys/gateway.h"

#include "netsys/command_runner.h"
#include "base/text.h"
#include "base/unicode_space.h"

namespace zorvik {

std::optional<std::string> parseDefaultGateway(std::string_view routeOutput) {
  for (std::string_view line : splitDroppingEmpty(routeOutput, '\n')) {
    if (line.find("gateway:") == std::string_view::npos) continue;
    std::vector<std::string_view> pieces = splitDroppingEmpty(line, ':');
    if (pieces.empty()) return std::nullopt;
    std::string_view gateway = trimSpacesAndTabs(pieces.back());
    // "gateway:" followed by blanks names no gateway; an empty one would only
    // produce a broken host route later.
    if (gateway.empty()) return std::nullopt;
    return std::string(gateway);
  }
  return std::nullopt;
}

std::optional<std::string> lookupDefaultGateway(const std::string& routeTool) {
  std::optional<std::string> output = runToolCapturingOutput(routeTool, {"-n", "get", "default"});
  if (!output) return std::nullopt;
  return parseDefaultGateway(*output);
}

}  // namespace zorvik
