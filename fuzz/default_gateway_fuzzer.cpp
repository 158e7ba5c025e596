// parseDefaultGateway and parseDefaultRouteInterface over arbitrary "route -n get default"
// output.
#include <string>

#include "base/unicode_space.h"
#include "fuzz/fuzz_check.h"
#include "netsys/gateway.h"

using namespace zorvik;
using zorvik::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view output = fuzz::asText(data, size);
  // The interface is only compared with the tunnel's; it is one clean piece of an "interface:"
  // line.
  if (const auto interface = parseDefaultRouteInterface(output)) {
    require(!interface->empty(), "an empty interface");
    require(interface->find_first_of("\n:") == std::string::npos, "an interface spans pieces");
    require(trimSpacesAndTabs(*interface) == *interface, "an interface is not trimmed");
    require(output.find(*interface) != std::string_view::npos, "an interface not in the output");
  }
  const auto gateway = parseDefaultGateway(output);
  if (!gateway) return 0;
  // The gateway becomes one argument of the host route; it is one clean piece
  // of a "gateway:" line.
  require(!gateway->empty(), "an empty gateway");
  require(gateway->find('\n') == std::string::npos, "a gateway spans lines");
  require(gateway->find(':') == std::string::npos, "a gateway holds ':'");
  require(trimSpacesAndTabs(*gateway) == *gateway, "a gateway is not trimmed");
  require(output.find(*gateway) != std::string_view::npos, "a gateway not in the output");
  require(output.find("gateway:") != std::string_view::npos, "a gateway without 'gateway:'");
  require(gateway->find_first_not_of("0123456789.") == std::string::npos, "a gateway not IPv4");
  return 0;
}
