#include "platform/child_wait.h"

#include <sys/wait.h>

#include <cerrno>

namespace zorvik {

std::optional<ChildReport> waitForReport(pid_t pid, int flags) {
  siginfo_t info{};
  for (;;) {
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, flags | WNOWAIT) == 0) {
      return ChildReport{info.si_code, info.si_status};
    }
    if (errno != EINTR) return std::nullopt;
  }
}

std::optional<ChildReport> skipToEnd(
    const std::function<std::optional<ChildReport>()>& nextReport) {
  for (;;) {
    auto report = nextReport();
    if (!report) return std::nullopt;
    if (report->code == CLD_EXITED || report->code == CLD_KILLED || report->code == CLD_DUMPED) {
      return report;
    }
  }
}

// WEXITED without WSTOPPED or WCONTINUED reports only ends, on Linux and on macOS alike, so this
// blocks through a stop; skipping is only a guard.
std::optional<ChildReport> waitForChildEnd(pid_t pid) {
  return skipToEnd([pid] { return waitForReport(pid, WEXITED); });
}

}  // namespace zorvik
