#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/route_watch.h"
#include "service/helper_settings.h"

namespace zorvik::test_support {

/// Stands in for the routing socket: starter() goes into HelperSettings::routeWatch,
/// and report() does what the watch's thread does on a change. Outlives the service.
class FakeRouteWatches {
 public:
  HelperSettings::RouteWatchStarter starter() {
    return [this](RouteWatch::Changed changed, const std::string& tunnelInterface) {
      std::lock_guard lock(mutex_);
      running_ = true;
      ignored_ = tunnelInterface;
      changed_ = std::move(changed);
      return std::unique_ptr<RouteWatch>(std::make_unique<Watch>(*this));
    };
  }

  /// Whether a watch is running now, and the interface it was told to ignore.
  bool watching() const {
    std::lock_guard lock(mutex_);
    return running_;
  }
  std::optional<std::string> ignoredInterface() const {
    std::lock_guard lock(mutex_);
    return ignored_;
  }
  /// Calls the handler of the latest watch, stopped or not: a stopped one's late
  /// report must change nothing.
  void report(bool tunnelTouched = true) const {
    RouteWatch::Changed changed;
    {
      std::lock_guard lock(mutex_);
      changed = changed_;
    }
    if (changed) changed(tunnelTouched);
  }

 private:
  class Watch final : public RouteWatch {
   public:
    explicit Watch(const FakeRouteWatches& owner) : owner_(owner) {}
    ~Watch() override {
      std::lock_guard lock(owner_.mutex_);
      owner_.running_ = false;
    }

   private:
    const FakeRouteWatches& owner_;
  };

  mutable std::mutex mutex_;
  mutable bool running_ = false;
  std::optional<std::string> ignored_;
  RouteWatch::Changed changed_;
};

}  // namespace zorvik::test_support
