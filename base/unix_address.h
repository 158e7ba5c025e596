#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <optional>
#include <string_view>

namespace zorvik {

/// The address of the Unix socket file at `path`, and its length for bind and
/// connect. Nothing when `path` is empty (an abstract socket on Linux), holds a
/// NUL (another file) or does not fit with its terminator (a cut path is
/// another file again): the same rule for every socket the project opens.
struct UnixSocketAddress {
  sockaddr_un address{};
  socklen_t length = 0;
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }
};

std::optional<UnixSocketAddress> unixSocketAddress(std::string_view path);

}  // namespace zorvik
