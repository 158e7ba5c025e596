#include "config/tunnel_dns.h"

#include <cstddef>

#include "base/ip_address.h"
#include "base/service_error.h"
#include "base/text.h"
#include "base/unicode_space.h"
#include "base/utf8.h"

namespace zorvik {
namespace {

constexpr std::size_t kMaxHostNameLength = 253;
constexpr std::size_t kMaxLabelLength = 63;
// A refused piece is quoted in the reply; a longer one is cut there, not in the check.
constexpr std::size_t kQuotedPieceBytes = 256;

bool isASCIILetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isLabel(std::string_view label) {
  if (label.empty() || label.size() > kMaxLabelLength) return false;
  if (label.front() == '-' || label.back() == '-') return false;
  for (char c : label) {
    if (!isASCIILetterOrDigit(c) && c != '-') return false;
  }
  return true;
}

bool allDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> dnsValuePieces(std::string_view value) {
  std::vector<std::string> pieces;
  std::string piece;
  const auto endPiece = [&] {
    if (!piece.empty()) pieces.push_back(std::move(piece));
    piece.clear();
  };
  while (!value.empty()) {
    const UTF8Step step = decodeUTF8(value);
    if (step.valid && (step.codePoint == U',' || isSpaceOrTab(step.codePoint))) {
      endPiece();
    } else {
      piece.append(value.substr(0, step.length));
    }
    value.remove_prefix(step.length);
  }
  endPiece();
  return pieces;
}

bool isHostName(std::string_view text) {
  if (text.ends_with('.')) text.remove_suffix(1);
  if (text.empty() || text.size() > kMaxHostNameLength) return false;
  const std::vector<std::string_view> labels = split(text, '.');
  for (const std::string_view label : labels) {
    if (!isLabel(label)) return false;
  }
  return !allDigits(labels.back());
}

TunnelDNS interfaceDNS(const StringMap& interface) {
  TunnelDNS dns;
  const auto found = interface.find("dns");
  if (found == interface.end()) return dns;
  for (std::string& piece : dnsValuePieces(found->second)) {
    if (isIPAddress(piece)) {
      dns.servers.push_back(std::move(piece));
    } else if (isHostName(piece)) {
      dns.searchDomains.push_back(std::move(piece));
    } else {
      throw ServiceError("некорректный DNS: " +
                         std::string(prefixOfUTF8(toValidUTF8(piece), kQuotedPieceBytes)));
    }
  }
  return dns;
}

}  // namespace zorvik
