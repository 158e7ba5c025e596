#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zorvik {

/// The host and port of a configured endpoint.
struct EndpointParts {
  std::string host;
  std::string port;
};

/// Splits at every ":" dropping empty pieces: the host is the first piece, the
/// port the last. Nothing is trimmed or validated.
EndpointParts splitEndpoint(std::string_view endpoint);

/// The host itself when it is an IPv4 literal, else the first IPv4 address the
/// resolver gives for it, as dotted-decimal text; nothing when there is none.
std::optional<std::string> resolveEndpointHost(const std::string& host);

}  // namespace zorvik
