#include "front/shared_service.h"

#include <sys/stat.h>

#include <future>
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

void replayTunnelJournal(std::chrono::milliseconds patience) {
  std::string journalPath;
  {
    std::lock_guard lock(settingsMutex);
    journalPath = pendingSettings().journalPath;
  }
  // Anything at the path, a symlink included: the replay reports and removes what it cannot use.
  struct stat info {};
  if (journalPath.empty() || ::lstat(journalPath.c_str(), &info) != 0) return;

  std::shared_ptr<HelperService> service = sharedService();
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> replayed = done->get_future();
  service->queue.async([service, done] {
    try {
      service->replayJournal();
    } catch (const std::exception&) {
      // Out of memory at worst; the listener opens all the same.
    }
    done->set_value();
  });
  replayed.wait_for(patience);
}

}  // namespace zorvik
