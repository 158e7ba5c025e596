// Mistakes the syntax check must catch. Above each one, the error clang must give for the
// next line; clang -verify fails the self-test on a missing or an extra error or warning
// (notes are not compared).
// clang-format off

#import <Foundation/Foundation.h>
#include <Security/Security.h>
#include <os/log.h>

#include <memory>

#import "front/darwin/ZorvikHelperProtocol.h"
#include "service/helper_service.h"

@interface HalfService : NSObject <ZorvikHelperProtocol>
@end

// A protocol method left out.
// expected-error@+1 {{method 'statusWithReply:' in protocol 'ZorvikHelperProtocol' not implemented}}
@implementation HalfService

- (void)getVersionWithReply:(void (^)(NSString*))reply {
  // A reply block called with the wrong types.
  // expected-error@+1 {{cannot initialize a parameter of type 'NSString *__strong' with an rvalue of type 'int'}}
  reply(1);
}

// A reply block whose parameters differ from the protocol's.
// expected-error@+1 {{conflicting parameter types in implementation of 'startTunnelWithConfig:reply:'}}
- (void)startTunnelWithConfig:(NSString*)config reply:(void (^)(BOOL, int))reply {
  (void)config;
  reply(NO, 0);
}

- (void)stopTunnelWithReply:(void (^)(BOOL, NSString*))reply {
  reply(YES, nil);
}

@end

void connectionMistakes(NSXPCConnection* connection) {
  // A selector that Apple's NSXPCConnection does not have.
  // expected-error@+1 {{no visible @interface for 'NSXPCConnection' declares the selector 'setExportedInterfaces:'}}
  [connection setExportedInterfaces:nil];
  // An invalidation handler with the wrong block type.
  // expected-error@+1 {{incompatible block pointer types assigning}}
  connection.invalidationHandler = ^(int reason) { (void)reason; };
  // A macOS 13 method called unguarded from a macOS 12 build.
  // expected-error@+1 {{'setCodeSigningRequirement:' is only available on macOS 13.0 or newer}}
  [connection setCodeSigningRequirement:@"anchor apple"];
}

void securityMistakes(NSString* text) {
  SecRequirementRef requirement = nullptr;
  // An Objective-C object where a CoreFoundation type is expected, without a bridge.
  // expected-error@+1 {{no matching function for call to 'SecRequirementCreateWithString'}}
  SecRequirementCreateWithString(text, kSecCSDefaultFlags, &requirement);
  // Static code where running code is expected.
  SecStaticCodeRef staticCode = nullptr;
  // expected-error@+1 {{no matching function for call to 'SecCodeCheckValidity'}}
  SecCodeCheckValidity(staticCode, kSecCSDefaultFlags, requirement);
}

void logMistakes(os_log_t log, const char* format, const std::string& message) {
  // expected-error@+1 {{os_log() format argument is not a string constant}}
  os_log_info(log, format);
  // expected-error@+1 {{cannot pass non-trivial object of type 'const std::string'}}
  os_log_error(log, "%{public}s", message);
}

void coreMistakes(std::shared_ptr<zorvik::HelperService> service) {
  // A C++ reply with the wrong signature.
  // expected-error@+1 {{no viable conversion}}
  service->status([](bool active) { (void)active; });
}
