#include "front/shared_service.h"

#include <future>
#include <mutex>

#include "service/tunnel_journal.h"

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
  if (!tunnelJournalPresent(journalPath)) return;

  // The new service replays the journal as its first work; the queue answers
  // this status only after it.
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> replayed = done->get_future();
  sharedService()->status([done](bool, std::uint64_t, std::uint64_t, std::optional<std::uint64_t>) {
    done->set_value();
  });
  replayed.wait_for(patience);
}

}  // namespace zorvik
