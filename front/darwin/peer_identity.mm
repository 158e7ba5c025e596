#include "front/darwin/peer_identity.h"

#include "front/darwin/code_signing.h"

namespace zorvik {

std::optional<std::array<std::uint8_t, 32>> clientAuditToken(NSXPCConnection* _Nonnull connection) {
  // Not public API: looked up at run time.
  if (![connection respondsToSelector:NSSelectorFromString(@"auditToken")]) return std::nullopt;
  id value = [connection valueForKey:@"auditToken"];
  if (![value isKindOfClass:[NSValue class]]) return std::nullopt;
  NSValue* boxed = value;
  std::array<std::uint8_t, 32> token{};
  // getValue:size: raises on a size mismatch and plain getValue: would overrun the buffer,
  // so a value of any other size is treated as no token at all.
  NSUInteger size = 0;
  NSGetSizeAndAlignment(boxed.objCType, &size, nullptr);
  if (size != token.size()) return std::nullopt;
  [boxed getValue:token.data() size:token.size()];
  return token;
}

bool DarwinPeerIdentity::copyGuestCode() {
  // Without a token the peer cannot be identified; zeros would only fail later, by accident.
  const std::optional<std::array<std::uint8_t, 32>> token = clientAuditToken(connection_);
  if (!token) return false;
  NSData* tokenData = [NSData dataWithBytes:token->data() length:token->size()];
  NSDictionary* attributes = @{(__bridge NSString*)kSecGuestAttributeAudit : tokenData};
  OSStatus status = SecCodeCopyGuestWithAttributes(nullptr, (__bridge CFDictionaryRef)attributes,
                                                   kSecCSDefaultFlags, guest_.out());
  return status == errSecSuccess && guest_;
}

std::int32_t DarwinPeerIdentity::checkValidity(const ClientRequirement& requirement) {
  const auto* compiled = dynamic_cast<const DarwinClientRequirement*>(&requirement);
  if (!guest_ || compiled == nullptr) return errSecParam;
  return SecCodeCheckValidity(guest_.get(), kSecCSDefaultFlags, compiled->get());
}

}  // namespace zorvik
