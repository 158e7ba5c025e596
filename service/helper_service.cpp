#include "service/helper_service.h"

#include <exception>

#include "base/names.h"
#include "netsys/command_runner.h"
#include "platform/directory_watch.h"
#include "service/helper_log.h"
#include "service/tunnel_journal.h"

namespace zorvik {

HelperService::HelperService(HelperSettings helperSettings)
    : log(helperSettings.logSink, kHelperMachServiceName, "tunnel"),
      settings(std::move(helperSettings)),
      journal(settings.journalPath, log),
      follower(
          settings, [this](const std::string& message) { logLine(message); },
          [this] { recordJournal(); }) {
  // Tools run for the whole process; an overrun goes to this service's logs. Copies,
  // so a report never reaches into a service that is gone.
  setToolRunLimit(settings.toolRunLimit, [log = log, logPath = settings.logPath](
                                             const std::string& path,
                                             const std::vector<std::string>& arguments) {
    std::string call = path;
    for (const std::string& argument : arguments) call += " " + argument;
    writeLogLine(log, logPath, "инструмент не завершился вовремя и остановлен: " + call);
  });
  if (!tunnelJournalPresent(settings.journalPath)) return;
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
  // Its thread holds this service only weakly; stopped before the fields go.
  follower.stop();
}

void HelperService::getVersion(VersionReply reply) { reply("1"); }

void HelperService::logLine(const std::string& message) const {
  writeLogLine(log, settings.logPath, message);
}

}  // namespace zorvik
