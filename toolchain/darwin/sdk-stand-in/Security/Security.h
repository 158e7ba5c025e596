// Stand-in for <Security/Security.h>: the code signing services the helper uses.
#pragma once

#import <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN
CF_ASSUME_NONNULL_BEGIN

// SecBase.h
// clang-format off
CF_ENUM(OSStatus) {
  errSecSuccess = 0,
  errSecParam = -50,
};
// clang-format on

// CSCommon.h
typedef struct CF_BRIDGED_TYPE(id) __SecCode* SecCodeRef;
typedef struct CF_BRIDGED_TYPE(id) __SecCode const* SecStaticCodeRef;
typedef struct CF_BRIDGED_TYPE(id) __SecRequirement* SecRequirementRef;

typedef CF_OPTIONS(uint32_t, SecCSFlags) {
  kSecCSDefaultFlags = 0,
};

// SecCode.h
// clang-format off
CF_ENUM(uint32_t) {
  kSecCSSigningInformation = 1 << 1,
};
// clang-format on

extern const CFStringRef kSecGuestAttributeAudit;
extern const CFStringRef kSecCodeInfoTeamIdentifier;

OSStatus SecCodeCopySelf(SecCSFlags flags, SecCodeRef* _Nonnull CF_RETURNS_RETAINED self);
OSStatus SecCodeCopyStaticCode(SecCodeRef code, SecCSFlags flags,
                               SecStaticCodeRef* _Nonnull CF_RETURNS_RETAINED staticCode);
OSStatus SecCodeCopyGuestWithAttributes(SecCodeRef _Nullable host,
                                        CFDictionaryRef _Nullable attributes, SecCSFlags flags,
                                        SecCodeRef* _Nonnull CF_RETURNS_RETAINED guest);
OSStatus SecCodeCheckValidity(SecCodeRef code, SecCSFlags flags,
                              SecRequirementRef _Nullable requirement);
OSStatus SecCodeCopySigningInformation(SecStaticCodeRef code, SecCSFlags flags,
                                       CFDictionaryRef* _Nonnull CF_RETURNS_RETAINED information);

// SecRequirement.h
OSStatus SecRequirementCreateWithString(
    CFStringRef text, SecCSFlags flags,
    SecRequirementRef* _Nonnull CF_RETURNS_RETAINED requirement);

CF_ASSUME_NONNULL_END
CF_EXTERN_C_END
