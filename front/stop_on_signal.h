#pragma once

#include <functional>
#include <memory>

#include "base/system_log.h"
#include "service/helper_service.h"

namespace zorvik {

/// What the front does on SIGTERM or SIGINT (launchd stopping the job, a Ctrl-C): logs the
/// signal on `daemonLog`, queues on the service that `service` gives the same teardown a stop
/// runs, behind every request already waiting, and once it is done calls `exitProcess` with
/// EXIT_SUCCESS. When the teardown cannot even be queued, calls it at once with EXIT_FAILURE,
/// so that launchd relaunches the helper and its journal is replayed. Call it once.
void stopOnSignal(int signal, const SystemLog& daemonLog,
                  const std::function<std::shared_ptr<HelperService>()>& service,
                  std::function<void(int status)> exitProcess);

}  // namespace zorvik
