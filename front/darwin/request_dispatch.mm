#import "front/darwin/request_dispatch.h"

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/names.h"
#include "front/darwin/foundation_strings.h"
#include "front/shared_service.h"

// The client sees the Objective-C names, the helper's log and listener the C++ ones.
static_assert(std::string_view(ZORVIK_CLIENT_BUNDLE_IDENTIFIER) == zorvik::kClientBundleIdentifier);
static_assert(std::string_view(ZORVIK_HELPER_MACH_SERVICE_NAME) == zorvik::kHelperMachServiceName);

using VersionBlock = void (^)(NSString* _Nonnull);
using ResultBlock = void (^)(BOOL, NSString* _Nullable);
using StatusBlock = void (^)(BOOL, uint64_t, uint64_t);

namespace {

// Queued replies run on the service's own thread, which has no autorelease pool of its own.
zorvik::ResultReply resultReply(ResultBlock _Nonnull block) {
  ResultBlock copied = [block copy];
  return [copied](bool ok, std::optional<std::string> error) {
    @autoreleasepool {
      copied(ok ? YES : NO, error ? zorvik::nsString(*error) : nil);
    }
  };
}

// The text a reply carries when the request could not even be queued.
NSString* _Nonnull failureText(const std::exception& error) {
  return zorvik::nsString(error.what());
}

}  // namespace

// No C++ exception may unwind into XPC: a request that cannot be queued (out of memory at
// worst) is answered at once instead.
@implementation ZorvikServiceObject {
  std::shared_ptr<zorvik::HelperService> _service;
}

- (instancetype)initWithService:(std::shared_ptr<zorvik::HelperService>)service {
  self = [super init];
  if (self) _service = std::move(service);
  return self;
}

- (void)getVersionWithReply:(VersionBlock _Nonnull)reply {
  VersionBlock copied = [reply copy];
  // Answered before this method returns, on the thread that delivered the request.
  try {
    _service->getVersion([copied](std::string version) { copied(zorvik::nsString(version)); });
  } catch (const std::exception&) {
    copied(@"1");
  }
}

- (void)startTunnelWithConfig:(NSString* _Nullable)config reply:(ResultBlock _Nonnull)reply {
  try {
    _service->startTunnel(zorvik::stdString(config), resultReply(reply));
  } catch (const std::exception& error) {
    reply(NO, failureText(error));
  }
}

- (void)stopTunnelWithReply:(ResultBlock _Nonnull)reply {
  try {
    _service->stopTunnel(resultReply(reply));
  } catch (const std::exception& error) {
    reply(NO, failureText(error));
  }
}

- (void)statusWithReply:(StatusBlock _Nonnull)reply {
  StatusBlock copied = [reply copy];
  try {
    // The XPC reply keeps its three values; the handshake age is the Linux stand-in's only.
    _service->status(
        [copied](bool active, std::uint64_t rx, std::uint64_t tx, std::optional<std::uint64_t>) {
          @autoreleasepool {
            copied(active ? YES : NO, rx, tx);
          }
        });
  } catch (const std::exception&) {
    copied(NO, 0, 0);
  }
}

@end

namespace zorvik {

ZorvikServiceObject* _Nonnull sharedServiceObject() {
  static ZorvikServiceObject* const object =
      [[ZorvikServiceObject alloc] initWithService:sharedService()];
  return object;
}

}  // namespace zorvik
