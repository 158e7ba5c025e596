#include "front/darwin/foundation_strings.h"

namespace zorvik {

std::string stdString(NSString* _Nullable text) {
  if (text == nil) return {};
  // UTF8String would return NULL for a string with a lone surrogate.
  NSData* bytes = [text dataUsingEncoding:NSUTF8StringEncoding allowLossyConversion:YES];
  if (bytes == nil) return {};
  return std::string(static_cast<const char*>(bytes.bytes), bytes.length);
}

NSString* _Nonnull nsString(const std::string& text) {
  NSString* decoded = [[NSString alloc] initWithBytes:text.data()
                                               length:text.size()
                                             encoding:NSUTF8StringEncoding];
  if (decoded != nil) return decoded;
  // Every byte sequence is valid Latin 1, so an error text is garbled but never lost.
  return [[NSString alloc] initWithBytes:text.data()
                                  length:text.size()
                                encoding:NSISOLatin1StringEncoding];
}

}  // namespace zorvik
