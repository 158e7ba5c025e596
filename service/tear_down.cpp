#include "netsys/command_runner.h"
#include "platform/child_process.h"
#include "service/daemon_process.h"
#include "service/helper_service.h"

namespace zorvik {

void HelperService::tearDown() {
  // First, so nothing this undoing changes is reported back to the queue.
  routeWatch_.reset();
  tunnelDNS_.reset();
  gatewayInterface_.reset();
  noGatewayLogged_ = false;
  if (endpointIP && savedGateway) {
    runTool(settings().routeTool,
            {"-q", "-n", "delete", "-inet", *endpointIP + "/32", *savedGateway});
  }
  restoreDNS();
  restoreIPv6();
  // Not waited for: its watcher logs the exit whenever it comes.
  if (proc) {
    proc->terminate();
  } else if (journaledDaemonPid_ && journaledDaemonPath_) {
    // A daemon known only from the journal of an earlier helper process: its
    // pid may have been reused since, so only that executable is signalled.
    terminateIfRunning(*journaledDaemonPid_, *journaledDaemonPath_);
  }
  proc.reset();
  journaledDaemonPath_.reset();
  journaledDaemonPid_.reset();
  iface.reset();
  sockPath.reset();
  endpointIP.reset();
  savedGateway.reset();
  active = false;
  removeJournal();
  log.info("туннель опущен, конфигурация восстановлена");
}

}  // namespace zorvik
