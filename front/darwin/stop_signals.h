#pragma once

#include "base/system_log.h"

namespace zorvik {

/// Has SIGTERM and SIGINT delivered on the main queue, where the first one runs stopOnSignal
/// with `daemonLog`, which must outlive the process. Call it once, before dispatch_main.
void stopOnFirstSignal(const SystemLog& daemonLog);

}  // namespace zorvik
