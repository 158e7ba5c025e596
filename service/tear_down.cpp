#include "netsys/command_runner.h"
#include "service/daemon_process.h"
#include "service/helper_service.h"

namespace zorvik {

void HelperService::tearDown() {
  if (endpointIP && savedGateway) {
    runTool(settings().routeTool,
            {"-q", "-n", "delete", "-inet", *endpointIP + "/32", *savedGateway});
  }
  restoreDNS();
  restoreIPv6();
  // Not waited for: its watcher logs the exit whenever it comes.
  if (proc) proc->terminate();
  proc.reset();
  iface.reset();
  sockPath.reset();
  endpointIP.reset();
  savedGateway.reset();
  active = false;
  log.info("туннель опущен, конфигурация восстановлена");
}

}  // namespace zorvik
