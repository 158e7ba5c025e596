#include "base/utf8.h"

namespace zorvik {
namespace {

bool inRange(unsigned char byte, unsigned char low, unsigned char high) {
  return byte >= low && byte <= high;
}

}  // namespace

UTF8Step decodeUTF8(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead < 0x80) return {lead, 1, true};

  // Allowed range of the second byte and the number of continuation bytes,
  // which rules out overlong forms, surrogates and code points past U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  std::size_t continuations = 0;
  char32_t value = 0;
  if (inRange(lead, 0xC2, 0xDF)) {
    continuations = 1;
    value = lead & 0x1F;
  } else if (inRange(lead, 0xE0, 0xEF)) {
    continuations = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (inRange(lead, 0xF0, 0xF4)) {
    continuations = 3;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {kReplacementCharacter, 1, false};
  }

  for (std::size_t i = 1; i <= continuations; ++i) {
    if (i >= bytes.size()) return {kReplacementCharacter, i, false};
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (!inRange(byte, low, high)) return {kReplacementCharacter, i, false};
    value = (value << 6) | (byte & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {value, continuations + 1, true};
}

void appendUTF8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

std::string toValidUTF8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const UTF8Step step = decodeUTF8(bytes);
    if (step.valid) {
      out.append(bytes.substr(0, step.length));
    } else {
      appendUTF8(out, kReplacementCharacter);
    }
    bytes.remove_prefix(step.length);
  }
  return out;
}

std::string_view prefixOfUTF8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  // Back over continuation bytes to the lead byte of the sequence that would be cut.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace zorvik
