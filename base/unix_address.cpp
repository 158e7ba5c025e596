#include "base/unix_address.h"

#include <sys/socket.h>

#include <cstring>

namespace zorvik {

std::optional<UnixSocketAddress> unixSocketAddress(std::string_view path) {
  UnixSocketAddress result;
  if (path.empty() || path.find('\0') != std::string_view::npos ||
      path.size() + 1 > sizeof result.address.sun_path) {
    return std::nullopt;
  }
  result.address.sun_family = AF_UNIX;
  std::memcpy(result.address.sun_path, path.data(), path.size());
  result.length = sizeof result.address;
  return result;
}

}  // namespace zorvik
