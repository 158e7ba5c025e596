#pragma once

#include <string_view>
#include <vector>

namespace zorvik {

/// The pieces of `text` between occurrences of `separator`, empty pieces dropped.
std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator);

}  // namespace zorvik
