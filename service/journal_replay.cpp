#include "platform/child_process.h"
#include "platform/directory_watch.h"
#include "platform/private_file.h"
#include "service/helper_service.h"
#include "service/readiness.h"
#include "service/service_identities.h"
#include "service/tunnel_journal.h"

namespace zorvik {

void HelperService::replayJournal() {
  // Only an idle service may take over an earlier process's records.
  if (tunnel.active || daemons.running) return;
  // Left by a process that died mid-write; the journal itself is the whole record.
  removeTemporariesBeside(settings.journalPath);
  TunnelJournalRead read = readTunnelJournal(settings.journalPath);
  if (read.outcome == TunnelJournalRead::absent) return;
  if (read.outcome == TunnelJournalRead::bad) {
    log.error("журнал туннеля повреждён и удалён: " + read.problem);
    journal.remove();
    return;
  }

  tunnel = std::move(read.journal);

  // Spawned, but the helper died before the pid was on record: the daemon may still run
  // unseen. Waited for only while some process runs that executable at all.
  if (tunnel.daemonPath && !tunnel.daemonPid && anyProcessRuns(*tunnel.daemonPath))
    endDaemonFoundBySocket(*tunnel.daemonPath);

  const std::size_t services = backedUpNames(tunnel).size();

  tearDown();
  logLine("конфигурация восстановлена по журналу, сервисов: " + std::to_string(services));
}

void HelperService::endDaemonFoundBySocket(const std::string& daemonPath) {
  // The name file was removed before the launch was recorded, so only that daemon can have
  // written it since; it may still be starting, so it gets the launch's own waits.
  DirectoryWatch& watch = daemons.runDirWatch(settings.runDir);
  const auto name = tunnel.iface
                        ? tunnel.iface
                        : waitForInterfaceName(watch, interfaceNameFile(),
                                               settings.interfaceNameWait, settings.pollInterval);
  if (!name) return;
  // Its socket is named after its interface; the process listening there is the daemon only
  // if it runs the executable that was launched.
  const std::string socketPath = interfaceSocketPath(settings.runDir, *name);
  std::optional<pid_t> pid;
  waitForDirectoryEntry(watch, settings.socketWait, settings.pollInterval,
                        [&]() -> std::optional<std::string> {
                          pid = listeningProcess(socketPath);
                          if (!pid) return std::nullopt;
                          return socketPath;
                        });
  if (!pid || !terminateIfRunning(*pid, daemonPath)) return;
  logLine("amneziawg-go без записанного pid найден по сокету " + socketPath +
          " и остановлен: pid=" + std::to_string(*pid));
}

}  // namespace zorvik
