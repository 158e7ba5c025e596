#include "service/endpoint.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>
#include <vector>

namespace zorvik {

EndpointParts splitEndpoint(std::string_view endpoint) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (start <= endpoint.size()) {
    std::size_t colon = endpoint.find(':', start);
    if (colon == std::string_view::npos) colon = endpoint.size();
    if (colon > start) pieces.push_back(endpoint.substr(start, colon - start));
    start = colon + 1;
  }
  if (pieces.empty()) return {};
  return {std::string(pieces.front()), std::string(pieces.back())};
}

std::optional<std::string> resolveEndpointHost(const std::string& host) {
  // The C calls would see only the text before a zero byte and let the rest
  // ride along into routes and the daemon's endpoint.
  if (host.find('\0') != std::string::npos) return std::nullopt;
  in_addr literal{};
  if (inet_pton(AF_INET, host.c_str(), &literal) == 1) return host;

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, &freeaddrinfo);
  if (list->ai_family != AF_INET || list->ai_addr == nullptr) return std::nullopt;
  const auto* address = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) == nullptr) return std::nullopt;
  return std::string(text);
}

}  // namespace zorvik
