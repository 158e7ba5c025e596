#pragma once

#include <string>
#include <string_view>

namespace zorvik {

/// `bytes` with every ill-formed UTF-8 sequence replaced by U+FFFD, one per
/// maximal ill-formed subpart; well-formed text comes back unchanged.
std::string toValidUTF8(std::string_view bytes);

}  // namespace zorvik
