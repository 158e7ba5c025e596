#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>

namespace zorvik {

/// What waitid reported about a child: `code` is si_code (CLD_EXITED, CLD_KILLED, CLD_DUMPED,
/// CLD_STOPPED, ...), `status` is si_status (the exit code or the signal number).
struct ChildReport {
  int code = 0;
  int status = 0;
};

/// One waitid(P_PID, pid, flags | WNOWAIT): the child stays unreaped. Nothing when it fails
/// for another reason than EINTR (no such child).
std::optional<ChildReport> waitForReport(pid_t pid, int flags);

/// Calls `nextReport` until it reports an end (exit, kill or core dump) and returns that one;
/// reports of a stop or a continue are skipped. Nothing as soon as a wait fails.
std::optional<ChildReport> skipToEnd(const std::function<std::optional<ChildReport>()>& nextReport);

/// Blocks until child `pid` has ended and says how, leaving it unreaped, so its pid cannot be
/// reused until the caller reaps it. A stopped or continued child is still running.
std::optional<ChildReport> waitForChildEnd(pid_t pid);

}  // namespace zorvik
