#include "service/readiness.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/utf8.h"

namespace zorvik {
namespace {

using Clock = std::chrono::steady_clock;

std::optional<std::string> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(out).str();
}

// Foundation's white space and newline set: categories Zs, Zl, Zp, the controls
// from tab to carriage return, and NEL.
bool isWhitespaceOrNewline(char32_t c) {
  switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20: case 0x85:
    case 0xA0: case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

// Length of the UTF-8 sequence starting at `lead`, or 0 when it is no lead byte.
std::size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

// The code point of the sequence at `pos`, and its length; invalid bytes decode
// as a non-space of length 1, so trimming stops at them.
std::pair<char32_t, std::size_t> decodeAt(std::string_view text, std::size_t pos) {
  auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t length = sequenceLength(lead);
  if (length == 0 || pos + length > text.size()) return {0xFFFD, 1};
  if (length == 1) return {lead, 1};
  char32_t c = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    auto next = static_cast<unsigned char>(text[pos + i]);
    if ((next & 0xC0) != 0x80) return {0xFFFD, 1};
    c = (c << 6) | (next & 0x3F);
  }
  return {c, length};
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::optional<std::string> waitForFileText(const std::string& path,
                                           std::chrono::milliseconds timeout,
                                           std::chrono::milliseconds pollInterval) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    auto text = readWholeFile(path);
    if (text && !text->empty() && toValidUTF8(*text) == *text) return text;
    std::this_thread::sleep_for(pollInterval);
  }
  return std::nullopt;
}

std::string trimWhitespaceAndNewlines(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    auto [c, length] = decodeAt(text, begin);
    if (!isWhitespaceOrNewline(c)) break;
    begin += length;
  }
  std::size_t end = text.size();
  while (end > begin) {
    // Step back to the start of the last sequence.
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    auto [c, length] = decodeAt(text, start);
    if (start + length != end || !isWhitespaceOrNewline(c)) break;
    end = start;
  }
  return std::string(text.substr(begin, end - begin));
}

std::optional<std::vector<std::string>> listDirectoryNames(const std::string& directory) {
  std::error_code error;
  std::filesystem::directory_iterator it(directory, error);
  if (error) return std::nullopt;
  std::vector<std::string> names;
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  if (error) return std::nullopt;
  return names;
}

std::optional<std::string> pickUAPISocketName(const std::vector<std::string>& names,
                                              const std::optional<std::string>& iface) {
  if (iface) {
    const std::string own = *iface + ".sock";
    for (const auto& name : names) {
      if (name == own) return name;
    }
  }
  for (const auto& name : names) {
    if (endsWith(name, ".sock")) return name;
  }
  return std::nullopt;
}

}  // namespace zorvik
