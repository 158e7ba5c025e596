// Stand-in for <CoreFoundation/CoreFoundation.h>: the types and calls the helper uses.
#pragma once

#include <MacTypes.h>
#include <stdbool.h>
#include <stdint.h>

#define CF_BRIDGED_TYPE(T) __attribute__((objc_bridge(T)))
#define CF_RETURNS_RETAINED __attribute__((cf_returns_retained))
#define CF_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define CF_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")

#if defined(__cplusplus)
#define CF_EXTERN_C_BEGIN extern "C" {
#define CF_EXTERN_C_END }
#define CF_ENUM(_type) enum : _type
#define CF_OPTIONS(_type, _name) \
  _type _name;                   \
  enum : _type
#else
#define CF_EXTERN_C_BEGIN
#define CF_EXTERN_C_END
#define CF_ENUM(_type) enum : _type
#define CF_OPTIONS(_type, _name) \
  enum _name : _type _name;      \
  enum _name : _type
#endif

CF_EXTERN_C_BEGIN
CF_ASSUME_NONNULL_BEGIN

typedef const CF_BRIDGED_TYPE(id) void* CFTypeRef;
typedef unsigned long CFTypeID;
typedef const struct CF_BRIDGED_TYPE(NSString) __CFString* CFStringRef;
typedef const struct CF_BRIDGED_TYPE(NSDictionary) __CFDictionary* CFDictionaryRef;

CFTypeID CFGetTypeID(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
CFTypeID CFDictionaryGetTypeID(void);
CFTypeID CFStringGetTypeID(void);
const void* _Nullable CFDictionaryGetValue(CFDictionaryRef theDict, const void* _Nullable key);

CF_ASSUME_NONNULL_END
CF_EXTERN_C_END
