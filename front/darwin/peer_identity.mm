#include "front/darwin/peer_identity.h"

#include "front/darwin/code_signing.h"

namespace zorvik {

std::array<std::uint8_t, 32> clientAuditToken(NSXPCConnection* _Nonnull connection) {
  std::array<std::uint8_t, 32> token{};
  // Not public API: looked up at run time, and a connection without it yields zeros.
  if (![connection respondsToSelector:NSSelectorFromString(@"auditToken")]) return token;
  id value = [connection valueForKey:@"auditToken"];
  if (![value isKindOfClass:[NSValue class]]) return token;
  NSValue* boxed = value;
  // getValue:size: raises on a size mismatch and plain getValue: would overrun the buffer,
  // so a value of any other size is treated as no token at all.
  NSUInteger size = 0;
  NSGetSizeAndAlignment(boxed.objCType, &size, nullptr);
  if (size != token.size()) return token;
  [boxed getValue:token.data() size:token.size()];
  return token;
}

bool XPCPeerIdentity::copyGuestCode() {
  std::array<std::uint8_t, 32> token = clientAuditToken(connection_);
  NSData* tokenData = [NSData dataWithBytes:token.data() length:token.size()];
  NSDictionary* attributes = @{(__bridge NSString*)kSecGuestAttributeAudit : tokenData};
  OSStatus status = SecCodeCopyGuestWithAttributes(nullptr, (__bridge CFDictionaryRef)attributes,
                                                   kSecCSDefaultFlags, guest_.out());
  return status == errSecSuccess && guest_;
}

std::int32_t XPCPeerIdentity::checkValidity(const ClientRequirement& requirement) {
  const auto* compiled = dynamic_cast<const SecClientRequirement*>(&requirement);
  if (!guest_ || compiled == nullptr) return errSecParam;
  return SecCodeCheckValidity(guest_.get(), kSecCSDefaultFlags, compiled->get());
}

}  // namespace zorvik
