// parseNetworkServices over arbitrary "-listallnetworkservices" listings.
#include <string>

#include "base/unicode_space.h"
#include "fuzz/fuzz_check.h"
#include "netsys/dns.h"

using namespace zorvik;
using zorvik::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view listing = fuzz::asText(data, size);
  const auto services = parseNetworkServices(listing);
  std::size_t lines = 0;
  for (char c : listing) lines += c == '\n';
  require(services.size() <= lines, "more services than lines after the header");
  for (const std::string& name : services) {
    // Each name goes to networksetup as one argument naming an enabled service.
    require(!name.empty(), "an empty service name");
    require(name.front() != '*', "a disabled service was kept");
    require(name.find('\n') == std::string::npos, "a service name spans lines");
    require(trimSpacesAndTabs(name) == name, "a service name is not trimmed");
    require(listing.find(name) != std::string_view::npos, "a service name not in the listing");
  }
  return 0;
}
