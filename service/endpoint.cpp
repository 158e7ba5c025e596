#include "service/endpoint.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace zorvik {

std::optional<std::string> lookupIPv4Address(const std::string& host) {
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

std::optional<std::string> resolveEndpointHost(const std::string& host,
                                               std::chrono::milliseconds deadline,
                                               const HostLookup& lookup) {
  // The C calls would see only the text before a zero byte and let the rest
  // ride along into routes and the daemon's endpoint.
  if (host.find('\0') != std::string::npos) return std::nullopt;
  in_addr literal{};
  if (inet_pton(AF_INET, host.c_str(), &literal) == 1) return host;

  // Resolvers that never answer are each tried with their own time-outs, far past any
  // deadline, and getaddrinfo cannot be cancelled: it runs detached, and what it finds
  // after the deadline goes into state that only it still holds.
  struct Answer {
    std::mutex mutex;
    std::condition_variable ready;
    bool done = false;
    std::optional<std::string> address;
  };
  auto answer = std::make_shared<Answer>();
  std::thread([answer, host, lookup] {
    std::optional<std::string> address;
    try {
      address = lookup(host);
    } catch (...) {
      // No address, as when the name does not resolve.
    }
    {
      std::lock_guard lock(answer->mutex);
      answer->address = std::move(address);
      answer->done = true;
    }
    answer->ready.notify_all();
  }).detach();
  std::unique_lock lock(answer->mutex);
  if (!answer->ready.wait_for(lock, deadline, [&] { return answer->done; })) return std::nullopt;
  return answer->address;
}

}  // namespace zorvik
