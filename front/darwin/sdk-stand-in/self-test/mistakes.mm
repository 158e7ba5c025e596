// Mistakes the syntax check must catch, each marked with the error clang must give
// (checked by clang -verify: a missing or an extra error or warning fails the self-test;
// notes are not compared).

#import <Foundation/Foundation.h>
#include <Security/Security.h>
#include <os/log.h>

#include <memory>

#import "front/darwin/ZorvikHelperProtocol.h"
#include "service/helper_service.h"

// A protocol method left out.
@interface HalfService : NSObject <ZorvikHelperProtocol>
@end

@implementation HalfService  // expected-error {{method 'statusWithReply:' in protocol 'ZorvikHelperProtocol' not implemented}}

- (void)getVersionWithReply:(void (^)(NSString*))reply {
  // A reply block called with the wrong types.
  reply(1);  // expected-error {{cannot initialize a parameter of type 'NSString *__strong' with an rvalue of type 'int'}}
}

// A reply block whose parameters differ from the protocol's.
- (void)startTunnelWithConfig:(NSString*)config reply:(void (^)(BOOL, int))reply {  // expected-error {{conflicting parameter types in implementation of 'startTunnelWithConfig:reply:'}}
  (void)config;
  reply(NO, 0);
}

- (void)stopTunnelWithReply:(void (^)(BOOL, NSString*))reply {
  reply(YES, nil);
}

@end

void connectionMistakes(NSXPCConnection* connection) {
  // A selector that Apple's NSXPCConnection does not have.
  [connection setExportedInterfaces:nil];  // expected-error {{no visible @interface for 'NSXPCConnection' declares the selector 'setExportedInterfaces:'}}
  // An invalidation handler with the wrong block type.
  connection.invalidationHandler = ^(int reason) { (void)reason; };  // expected-error {{incompatible block pointer types assigning}}
}

void securityMistakes(NSString* text, SecCodeRef code) {
  SecRequirementRef requirement = nullptr;
  // An Objective-C object where a CoreFoundation type is expected, without a bridge.
  SecRequirementCreateWithString(text, kSecCSDefaultFlags, &requirement);  // expected-error {{no matching function for call to 'SecRequirementCreateWithString'}}
  // Static code where running code is expected.
  SecStaticCodeRef staticCode = nullptr;
  SecCodeCheckValidity(staticCode, kSecCSDefaultFlags, requirement);  // expected-error {{no matching function for call to 'SecCodeCheckValidity'}}
  (void)code;
}

void logMistakes(os_log_t log, const char* format, const std::string& message) {
  os_log_info(log, format);  // expected-error {{os_log() format argument is not a string constant}}
  os_log_error(log, "%{public}s", message);  // expected-error {{cannot pass non-trivial object of type 'const std::string'}}
}

void coreMistakes(std::shared_ptr<zorvik::HelperService> service) {
  // A C++ reply with the wrong signature.
  service->status([](bool active) { (void)active; });  // expected-error {{no viable conversion}}
}
