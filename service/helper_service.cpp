#include "service/helper_service.h"

#include "base/names.h"

namespace zorvik {

HelperService::HelperService(HelperSettings settings)
    : log(settings.logSink, kHelperMachServiceName, "tunnel"),
      runDir(settings.runDir),
      logPath(settings.logPath),
      settings_(std::move(settings)) {}

HelperService::~HelperService() {
  // Queued work uses the fields below; finish it before they go.
  queue.shutdown();
}

void HelperService::getVersion(VersionReply reply) { reply("1"); }

}  // namespace zorvik
