#import "front/darwin/listener.h"

#import "front/darwin/ZorvikHelperProtocol.h"
#include "front/darwin/code_signing.h"
#include "front/darwin/peer_identity.h"
#import "front/darwin/service_object.h"
#include "front/log_messages.h"

@implementation ZorvikListenerDelegate {
  const zorvik::SystemLog* _daemonLog;
  std::unique_ptr<zorvik::HelperDelegate> _admission;
}

- (instancetype)initWithDaemonLog:(const zorvik::SystemLog&)daemonLog {
  self = [super init];
  if (self) {
    _daemonLog = &daemonLog;
    _admission = std::make_unique<zorvik::HelperDelegate>(
        std::make_shared<zorvik::SecCodeSigning>(), daemonLog);
  }
  return self;
}

- (BOOL)listener:(NSXPCListener*)listener shouldAcceptNewConnection:(NSXPCConnection*)connection {
  zorvik::XPCPeerIdentity peer(connection);
  // A refusal has been logged; the connection is dropped unconfigured and never resumed.
  if (!_admission->shouldAcceptNewConnection(peer)) return NO;

  connection.exportedInterface =
      [NSXPCInterface interfaceWithProtocol:@protocol(ZorvikHelperProtocol)];
  connection.exportedObject = zorvik::sharedServiceObject();
  const zorvik::SystemLog* daemonLog = _daemonLog;
  // The tunnel outlives its connection: closing one only logs.
  connection.invalidationHandler = ^{
    daemonLog->info(zorvik::kConnectionClosed);
  };
  [connection resume];
  return YES;
}

@end
