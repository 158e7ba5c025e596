#pragma once

#include <memory>
#include <string>

#include "platform/directory_watch.h"

namespace zorvik {

class DaemonProcess;

/// The service's tunnel daemons: the one that runs, and the one the last teardown ended until
/// the next launch has waited for its end; with the run directory's watch their waits use.
class TunnelDaemons {
 public:
  std::shared_ptr<DaemonProcess> running;
  std::shared_ptr<DaemonProcess> ended;

  /// The watch of `runDir`, made at first use and kept for the service's life: letting an
  /// inotify instance go costs the queue some 15 ms.
  DirectoryWatch& runDirWatch(const std::string& runDir) {
    if (!runDirWatch_) runDirWatch_ = std::make_unique<DirectoryWatch>(runDir);
    return *runDirWatch_;
  }

 private:
  std::unique_ptr<DirectoryWatch> runDirWatch_;
};

}  // namespace zorvik
