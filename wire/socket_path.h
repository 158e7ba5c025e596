#pragma once

namespace zorvik {

/// Where the Linux stand-in's helper listens, and where zorvikctl looks for it.
inline constexpr const char* kHelperSocketPath = "/var/run/com.zorvik.vpn.helper.sock";

}  // namespace zorvik
