// interfaceDNS and parseDNSServers over arbitrary DNS values, and dnsBackupValue and
// searchDomainsBackupValue over arbitrary "-getdnsservers" / "-getsearchdomains" output.
#include <string>

#include "base/service_error.h"
#include "base/text.h"
#include "base/unicode_space.h"
#include "base/utf8.h"
#include "config/tunnel_dns.h"
#include "fuzz/fuzz_check.h"
#include "netsys/dns.h"

using namespace zorvik;
using zorvik::fuzz::require;

namespace {

constexpr const char* kAddressCharacters = "0123456789abcdefABCDEF.:";
constexpr const char* kHostNameCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-.";

bool onlyOf(std::string_view text, const char* characters) {
  return text.find_first_not_of(characters) == std::string_view::npos;
}

bool holdsABlank(std::string_view text) {
  while (!text.empty()) {
    const UTF8Step step = decodeUTF8(text);
    if (step.valid && isSpaceOrTab(step.codePoint)) return true;
    text.remove_prefix(step.length);
  }
  return false;
}

/// What reaches networksetup as one argument of its own: never an option, never cut.
void checkArgument(std::string_view text, std::string_view piece) {
  require(!piece.empty(), "an empty piece");
  require(piece.front() != '-', "a piece starts with '-'");
  require(piece.find('\0') == std::string_view::npos, "a piece holds a NUL");
  require(piece.find(',') == std::string_view::npos, "a piece holds ','");
  require(!holdsABlank(piece), "a piece holds a blank");
  require(text.find(piece) != std::string_view::npos, "a piece not in the text");
}

void checkBackup(std::string_view text, const std::optional<std::string>& backup,
                 const char* characters) {
  if (text.find("There aren't any") != std::string_view::npos) {
    require(backup == "empty", "none not backed up as the marker");
  } else if (backup) {
    require(!backup->empty(), "an empty backup");
    for (const std::string_view line : split(*backup, '\n')) {
      require(!line.empty() && trimSpacesTabsAndLineBreaks(line) == line,
              "a backup line is not trimmed");
      require(text.find(line) != std::string_view::npos, "a backup line not taken from the output");
      require(onlyOf(line, characters), "a backup line is not what the tool lists");
      checkArgument(text, line);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view text = fuzz::asText(data, size);

  const std::vector<std::string> servers = parseDNSServers(text);
  for (const std::string& server : servers) {
    checkArgument(text, server);
    require(onlyOf(server, kAddressCharacters), "a server is not an address");
  }

  try {
    const TunnelDNS dns = interfaceDNS({{"dns", std::string(text)}});
    require(dns.servers == servers, "the servers differ from parseDNSServers");
    for (const std::string& domain : dns.searchDomains) {
      checkArgument(text, domain);
      require(onlyOf(domain, kHostNameCharacters) && domain.size() <= 254,
              "a domain is no host name");
    }
  } catch (const ServiceError& e) {
    require(e.msg.starts_with("некорректный DNS: "), "an unknown DNS error");
    require(toValidUTF8(e.msg) == e.msg, "an error text that is not UTF-8");
  }

  checkBackup(text, dnsBackupValue(text), kAddressCharacters);
  checkBackup(text, searchDomainsBackupValue(text), kHostNameCharacters);
  return 0;
}
