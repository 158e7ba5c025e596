#include <sys/wait.h>

#include "platform/child_wait.h"

namespace zorvik {

// Here WEXITED reports nothing but ends; skipping is only a guard.
std::optional<ChildReport> waitForChildEnd(pid_t pid) {
  return skipToEnd([pid] { return waitForReport(pid, WEXITED); });
}

}  // namespace zorvik
