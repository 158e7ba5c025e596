// The helper's XPC interface, shared with the client application, which includes this
// header as it stands (plain Objective-C; no C++ needed). Both sides must declare the
// selectors and block types identically.
#pragma once

#import <Foundation/Foundation.h>

#include <stdint.h>

NS_ASSUME_NONNULL_BEGIN

/// The client application's bundle identifier, as a C string literal.
#define ZORVIK_CLIENT_BUNDLE_IDENTIFIER "com.zorvik.vpn"
/// The helper's Mach service name (the bundle identifier plus ".helper"), as a C string literal.
#define ZORVIK_HELPER_MACH_SERVICE_NAME ZORVIK_CLIENT_BUNDLE_IDENTIFIER ".helper"

/// The client application's bundle identifier.
static NSString* const kClientBundleIdentifier = @ZORVIK_CLIENT_BUNDLE_IDENTIFIER;
/// The Mach service the helper listens on.
static NSString* const kHelperMachServiceName = @ZORVIK_HELPER_MACH_SERVICE_NAME;

/// The helper's one remote interface. Every request is answered through its reply block
/// exactly once; start, stop and status run one at a time, in arrival order.
@protocol ZorvikHelperProtocol

/// Answers at once with the helper's version, "1".
- (void)getVersionWithReply:(void (^)(NSString* version))reply;

/// Brings up a tunnel from a whole configuration text, first taking down one that is up.
/// Replies (YES, nil), or (NO, the reason) with no tunnel left up.
- (void)startTunnelWithConfig:(nullable NSString*)config
                        reply:(void (^)(BOOL ok, NSString* _Nullable error))reply;

/// Takes down whatever is up; always replies (YES, nil).
- (void)stopTunnelWithReply:(void (^)(BOOL ok, NSString* _Nullable error))reply;

/// Whether a tunnel is up, with the bytes received and sent through it.
- (void)statusWithReply:(void (^)(BOOL active, uint64_t rx, uint64_t tx))reply;

@end

NS_ASSUME_NONNULL_END
