#pragma once

#import <Foundation/Foundation.h>

#include <memory>

#include "base/system_log.h"
#include "front/helper_delegate.h"

/// The XPC listener's delegate: admission by the C++ HelperDelegate, then the shared service
/// exported on every admitted connection.
@interface ZorvikListenerDelegate : NSObject <NSXPCListenerDelegate>
/// Builds the client requirement now, before the listener exists. `daemonLog` must outlive
/// the delegate.
- (nonnull instancetype)initWithDaemonLog:(const zorvik::SystemLog&)daemonLog;
@end
