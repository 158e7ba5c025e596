#include <cerrno>
#include <cstring>

#include "netsys/dns.h"
#include "netsys/ipv6.h"
#include "netsys/tunnel_network.h"
#include "platform/child_process.h"
#include "platform/daemon_process.h"
#include "platform/private_file.h"
#include "service/helper_service.h"
#include "service/service_identities.h"

namespace zorvik {

void HelperService::tearDown() {
  // First, so nothing this undoing changes is reported back to the queue.
  follower.stop();
  if (tunnel.endpointIP && tunnel.savedGateway)
    deleteHostRoute(settings.routeTool, *tunnel.endpointIP, *tunnel.savedGateway);
  // The tunnel's other routes went with its interface; these stay until deleted.
  for (const std::string& text : tunnel.rejectRoutes) {
    if (const auto prefix = parseIPPrefix(text)) deleteRejectRoute(settings.routeTool, *prefix);
  }
  // Onto the services as they are called now: one renamed while the tunnel was up keeps its
  // identity, not its name.
  followRenamedServices(settings.networksetupTool, tunnel,
                        [this](const std::string& from, const std::string& to) {
                          logLine("сервис «" + from + "» теперь называется «" + to +
                                  "», его настройки восстановлены на нём");
                        });
  restoreDNS(settings.networksetupTool, tunnel.dnsBackup, tunnel.searchDomainsBackup);
  restoreIPv6(settings.networksetupTool, tunnel.ipv6Disabled);
  // Not waited for: its watcher logs the exit whenever it comes.
  if (daemons.running) {
    daemons.running->terminate();
  } else if (tunnel.daemonPid && tunnel.daemonPath) {
    // A daemon known only from the journal of an earlier helper process: its
    // pid may have been reused since, so only that executable is signalled.
    terminateIfRunning(*tunnel.daemonPid, *tunnel.daemonPath);
  }
  // The next launch waits for it: until then its interface and socket may still be there.
  if (daemons.running) daemons.ended = std::move(daemons.running);
  // A later replay takes a name file it finds for that of a daemon still starting.
  if (!removeFileIfPresent(interfaceNameFile()))
    log.error("не удалось удалить " + interfaceNameFile() + ": " + std::strerror(errno));
  // The restores above emptied dnsBackup, searchDomainsBackup and ipv6Disabled.
  tunnel = TunnelRecord{};
  journal.remove();
  log.info("туннель опущен, конфигурация восстановлена");
}

}  // namespace zorvik
