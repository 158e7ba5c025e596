#include "front/shared_service.h"

#include <mutex>

namespace zorvik {
namespace {

std::mutex settingsMutex;
HelperSettings& pendingSettings() {
  static HelperSettings settings;
  return settings;
}

std::once_flag serviceCreated;
// Never deleted: the service and its queue outlive every connection and must
// not be torn down by static destruction while a request may still run.
std::shared_ptr<HelperService>* serviceInstance = nullptr;

}  // namespace

void configureSharedService(HelperSettings settings) {
  std::lock_guard lock(settingsMutex);
  pendingSettings() = std::move(settings);
}

std::shared_ptr<HelperService> sharedService() {
  std::call_once(serviceCreated, [] {
    std::lock_guard lock(settingsMutex);
    serviceInstance = new std::shared_ptr<HelperService>(
        std::make_shared<HelperService>(std::move(pendingSettings())));
  });
  return *serviceInstance;
}

}  // namespace zorvik
