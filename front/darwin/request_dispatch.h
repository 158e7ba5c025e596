#pragma once

#import <Foundation/Foundation.h>

#include <memory>

#import "front/darwin/ZorvikHelperProtocol.h"
#include "service/helper_service.h"

/// The object every admitted connection exports: it turns each XPC request into a call on
/// the C++ service and each C++ reply into a call of the XPC reply block.
@interface ZorvikServiceObject : NSObject <ZorvikHelperProtocol>
- (nonnull instancetype)initWithService:(std::shared_ptr<zorvik::HelperService>)service;
@end

namespace zorvik {

/// The one exported object of the process, around `sharedService()`: created on first use
/// (safe when two first connections race) and the same object for every connection.
ZorvikServiceObject* _Nonnull sharedServiceObject();

}  // namespace zorvik
