#import "front/darwin/listener.h"

#import "front/darwin/ZorvikHelperProtocol.h"
#include "front/darwin/code_signing.h"
#include "front/darwin/foundation_strings.h"
#include "front/darwin/peer_identity.h"
#import "front/darwin/request_dispatch.h"
#include "front/log_messages.h"

#include <exception>

@implementation ZorvikListenerDelegate {
  const zorvik::SystemLog* _daemonLog;
  std::unique_ptr<zorvik::HelperDelegate> _admission;
}

- (instancetype)initWithDaemonLog:(const zorvik::SystemLog&)daemonLog {
  self = [super init];
  if (self) {
    _daemonLog = &daemonLog;
    _admission = std::make_unique<zorvik::HelperDelegate>(
        std::make_shared<zorvik::DarwinCodeSigning>(), daemonLog);
  }
  return self;
}

- (BOOL)listener:(NSXPCListener*)listener shouldAcceptNewConnection:(NSXPCConnection*)connection {
  // No C++ exception may unwind into XPC; a connection that could not be checked is refused.
  try {
    return [self admitConnection:connection];
  } catch (const std::exception&) {
    return NO;
  }
}

- (BOOL)admitConnection:(NSXPCConnection*)connection {
  zorvik::DarwinPeerIdentity peer(connection);
  // A refusal has been logged; the connection is dropped unconfigured and never resumed.
  if (!_admission->shouldAcceptNewConnection(peer)) return NO;

  connection.exportedInterface =
      [NSXPCInterface interfaceWithProtocol:@protocol(ZorvikHelperProtocol)];
  connection.exportedObject = zorvik::sharedServiceObject();
  const zorvik::SystemLog* daemonLog = _daemonLog;
  // The tunnel outlives its connection: closing one only logs.
  connection.invalidationHandler = ^{
    try {
      daemonLog->info(zorvik::kConnectionClosed);
    } catch (const std::exception&) {
      // A failing log sink must not unwind into XPC.
    }
  };
  [self requireCodeSigningOf:connection];
  [connection resume];
  return YES;
}

// From macOS 13 the platform checks every message of the connection against the same
// requirement, not only the peer at admission; before 13 the admission check stands alone.
- (void)requireCodeSigningOf:(NSXPCConnection*)connection {
  if (@available(macOS 13.0, *)) {
    const auto* compiled =
        dynamic_cast<const zorvik::DarwinClientRequirement*>(_admission->requirement().get());
    if (compiled != nullptr)
      [connection setCodeSigningRequirement:zorvik::nsString(compiled->text())];
  }
}

@end
