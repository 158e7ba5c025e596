// parseDNSServers over arbitrary DNS values, and dnsBackupValue over arbitrary
// "-getdnsservers" output.
#include <string>

#include "base/text.h"
#include "base/unicode_space.h"
#include "fuzz/fuzz_check.h"
#include "netsys/dns.h"

using namespace zorvik;
using zorvik::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view text = fuzz::asText(data, size);

  for (const std::string& server : parseDNSServers(text)) {
    require(!server.empty(), "an empty server");
    require(server.find(',') == std::string::npos, "a server holds ','");
    require(trimSpacesAndTabs(server) == server, "a server is not trimmed");
    require(text.find(server) != std::string_view::npos, "a server not in the text");
  }

  const auto backup = dnsBackupValue(text);
  if (text.find("There aren't any") != std::string_view::npos) {
    require(backup == "empty", "no servers not backed up as the marker");
  } else if (backup) {
    require(!backup->empty(), "an empty backup");
    for (const std::string_view line : split(*backup, '\n')) {
      require(!line.empty() && trimSpacesTabsAndLineBreaks(line) == line,
              "a backup line is not trimmed");
      require(text.find(line) != std::string_view::npos, "a backup line not taken from the output");
      require(line.find_first_not_of("0123456789abcdefABCDEF.:") == std::string_view::npos,
              "a backup line is not an address");
    }
  }
  return 0;
}
