#pragma once

namespace zorvik {

/// The client application's bundle identifier.
inline constexpr const char* kClientBundleIdentifier = "com.zorvik.vpn";
/// The helper's Mach service name, also the subsystem of every log object.
inline constexpr const char* kHelperMachServiceName = "com.zorvik.vpn.helper";

}  // namespace zorvik
