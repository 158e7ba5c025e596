#include "base/unicode_text.h"

#include <algorithm>

#include "base/unicode_tables.h"
#include "base/utf8.h"

namespace zorvik {

std::string lowercased(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto& table = unicode_tables::kLowercaseMappings;
  while (!text.empty()) {
    const UTF8Step step = decodeUTF8(text);
    const auto found = std::lower_bound(
        table.begin(), table.end(), step.codePoint,
        [](const unicode_tables::LowercaseMapping& m, char32_t cp) { return m.from < cp; });
    if (step.valid && found != table.end() && found->from == step.codePoint) {
      for (unsigned i = 0; i < found->length; ++i) appendUTF8(out, found->to[i]);
    } else {
      out.append(text.substr(0, step.length));
    }
    text.remove_prefix(step.length);
  }
  return out;
}

}  // namespace zorvik
