#pragma once

#include <mutex>

#include "platform/daemon_process.h"

namespace zorvik::test_support {

/// What the tests observe of a DaemonProcess beyond its face.
class DaemonProcessAccess {
 public:
  /// How many terminate requests were actually sent.
  static int terminateRequestsSent(const DaemonProcess& process) {
    std::lock_guard lock(process.mutex_);
    return process.terminateRequests_;
  }
};

}  // namespace zorvik::test_support
