#pragma once

#import <Foundation/Foundation.h>

#include <string>

namespace zorvik {

/// The UTF-8 bytes of `text`; nil is the empty text. Never fails: characters that have no
/// UTF-8 form (lone surrogates) are replaced rather than making the whole text vanish.
std::string stdString(NSString* _Nullable text);

/// `text` as an NSString, never nil: bytes that are not UTF-8 are read as ISO Latin 1.
NSString* _Nonnull nsString(const std::string& text);

}  // namespace zorvik
