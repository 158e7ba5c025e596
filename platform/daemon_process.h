#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/child_process.h"

namespace zorvik {
namespace test_support {
class DaemonProcessAccess;
}

/// A long-running child (the tunnel daemon) and the thread that watches for its exit.
/// The watcher marks the child exited before it reaps it, and `terminate`
/// signals only a child not yet marked, so no signal can reach a reused pid.
class DaemonProcess : public std::enable_shared_from_this<DaemonProcess> {
 public:
  /// Called once on the watcher thread after the child has been reaped.
  using ExitHandler = std::function<void(const DaemonProcess&)>;

  /// The platform's termination reason: a normal exit or an uncaught signal.
  enum Reason { normalExit = 1, uncaughtSignal = 2 };

  /// How long a child may go on after its terminate request before it is killed.
  static constexpr std::chrono::milliseconds kKillAfter{5000};

  /// Starts the child and its watcher; throws std::system_error when it cannot start.
  static std::shared_ptr<DaemonProcess> launch(const SpawnRequest& request, ExitHandler onExit,
                                               std::chrono::milliseconds killAfter = kKillAfter);

  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  /// The child's process id.
  pid_t pid() const { return pid_; }
  /// True until the watcher has seen the child exit.
  bool isRunning() const;
  /// Sends SIGTERM while the child is still running; never waits. A child that
  /// still runs `killAfter` later gets SIGKILL. True when the SIGTERM was sent.
  bool terminate();

  /// Exit code or signal number; meaningful once the child has exited.
  int terminationStatus() const;
  /// `normalExit` or `uncaughtSignal`; meaningful once the child has exited.
  int terminationReason() const;

  /// Waits until the child is reaped and the exit handler has returned.
  /// False when `timeout` passes first.
  bool waitUntilFinished(std::chrono::milliseconds timeout) const;

 private:
  friend class test_support::DaemonProcessAccess;

  DaemonProcess(pid_t pid, std::chrono::milliseconds killAfter)
      : pid_(pid), killAfter_(killAfter) {}
  void watch(const ExitHandler& onExit);
  void killIfStillRunningAfterTerminate();

  const pid_t pid_;
  const std::chrono::milliseconds killAfter_;
  mutable std::mutex mutex_;
  mutable std::condition_variable finishedChanged_;  // also when the child is marked exited
  bool exited_ = false;    // seen by waitid; from here on the pid may be reaped
  bool finished_ = false;  // reaped and the handler has run
  int status_ = 0;
  int reason_ = 0;
  int terminateRequests_ = 0;
};

}  // namespace zorvik
