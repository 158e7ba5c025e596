#include "platform/utf8.h"

namespace zorvik {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

/// Length of the well-formed sequence at the start of `s`, or, when it is
/// ill-formed, minus the length of its maximal subpart (at least one byte).
int sequenceAt(std::string_view s) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  int length = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return -1;
  }
  for (int i = 1; i < length; ++i) {
    if (static_cast<std::size_t>(i) >= s.size()) return -i;
    unsigned char b = byte(static_cast<std::size_t>(i));
    bool ok = i == 1 ? (b >= low && b <= high) : (b >= 0x80 && b <= 0xBF);
    if (!ok) return -i;
  }
  return length;
}

}  // namespace

std::string toValidUTF8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    int n = sequenceAt(bytes);
    if (n > 0) {
      out.append(bytes.substr(0, static_cast<std::size_t>(n)));
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else {
      out.append(kReplacement);
      bytes.remove_prefix(static_cast<std::size_t>(-n));
    }
  }
  return out;
}

}  // namespace zorvik
