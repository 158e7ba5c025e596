#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "config/tunnel_config.h"
#include "config/uapi_client.h"

namespace zorvik {

/// Each byte as two lower-case hexadecimal digits.
std::string hexEncode(std::string_view bytes);

/// The UAPI set request for a configuration; throws ServiceError on a
/// missing or bad key. Pure: sends nothing.
std::string makeUAPISetRequest(const StringMap& interface, const StringMap& peer,
                               std::string_view endpoint);

/// Builds the set request, sends it and checks the daemon's answer; throws on failure.
void applyUAPIConfig(const std::string& socketPath, const StringMap& interface,
                     const StringMap& peer, const std::string& endpoint,
                     std::chrono::milliseconds timeout = kUAPITimeout);

}  // namespace zorvik
