#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/tunnel_config.h"

namespace zorvik {

/// What the configuration's DNS value asks for, each list in the order written.
struct TunnelDNS {
  std::vector<std::string> servers;
  std::vector<std::string> searchDomains;

  bool operator==(const TunnelDNS&) const = default;
};

/// The pieces of a DNS value, split at commas and blanks (base/unicode_space.h), empty
/// pieces dropped.
std::vector<std::string> dnsValuePieces(std::string_view value);

/// ASCII letters, digits and "-" in labels of 1-63 characters joined by ".", no label
/// starting or ending with "-", at most 253 characters before an optional trailing ".",
/// and a last label that is not all digits (so a mistyped IPv4 address is no name).
bool isHostName(std::string_view text);

/// The "dns" value as wg-quick reads it: the pieces that are addresses are the servers,
/// the other pieces the search domains. Throws ServiceError "некорректный DNS: PIECE" for
/// the first piece that is neither (one starting with "-" included), so nothing of the
/// value reaches a tool as an option. No "dns" key: nothing.
TunnelDNS interfaceDNS(const StringMap& interface);

}  // namespace zorvik
