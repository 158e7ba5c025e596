#include "service/helper_service.h"

#include <exception>

#include "base/names.h"

namespace zorvik {

HelperService::HelperService(HelperSettings settings)
    : log(settings.logSink, kHelperMachServiceName, "tunnel"),
      runDir(settings.runDir),
      logPath(settings.logPath),
      settings_(std::move(settings)) {
  if (!tunnelJournalPresent(settings_.journalPath)) return;
  // The queue finishes its work before the fields go, so `this` outlives it.
  queue.async([this] {
    try {
      replayJournal();
    } catch (const std::exception&) {
      // Out of memory at worst; the requests behind it are served all the same.
    }
  });
}

HelperService::~HelperService() {
  // Queued work uses the fields below; finish it before they go.
  queue.shutdown();
}

void HelperService::getVersion(VersionReply reply) { reply("1"); }

}  // namespace zorvik
