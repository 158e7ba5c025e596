#pragma once

#import <Foundation/Foundation.h>
#include <Security/Security.h>

#include <array>
#include <cstdint>
#include <optional>

#include "front/darwin/cf_ref.h"
#include "front/helper_delegate.h"

namespace zorvik {

/// The peer's 32-byte audit token; nothing when the connection does not offer one.
std::optional<std::array<std::uint8_t, 32>> clientAuditToken(NSXPCConnection* _Nonnull connection);

/// The process at the other end of one incoming XPC connection, found by its audit token.
class DarwinPeerIdentity final : public PeerIdentity {
 public:
  explicit DarwinPeerIdentity(NSXPCConnection* _Nonnull connection) : connection_(connection) {}

  bool copyGuestCode() override;
  std::int32_t checkValidity(const ClientRequirement& requirement) override;

 private:
  NSXPCConnection* _Nonnull connection_;
  CFRef<SecCodeRef> guest_;
};

}  // namespace zorvik
