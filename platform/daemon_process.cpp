#include "platform/daemon_process.h"

#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

#include "platform/child_process.h"

namespace zorvik {

std::shared_ptr<DaemonProcess> DaemonProcess::launch(const SpawnRequest& request,
                                                     ExitHandler onExit,
                                                     std::chrono::milliseconds killAfter) {
  pid_t pid = spawnProcess(request);
  std::shared_ptr<DaemonProcess> process;
  try {
    process.reset(new DaemonProcess(pid, killAfter));
    // The watcher is detached and keeps the process object alive through its own
    // reference. Joining it anywhere would mean waiting for the daemon to exit,
    // which the teardown must never do; detached, it ends when the child does and
    // touches nothing but this object and a weak reference to the service.
    std::thread([process, onExit = std::move(onExit)] { process->watch(onExit); }).detach();
  } catch (...) {
    // Without a watcher nobody would reap the child; end it now instead.
    ::kill(pid, SIGKILL);
    reapChild(pid);
    throw;
  }
  return process;
}

bool DaemonProcess::isRunning() const {
  std::lock_guard lock(mutex_);
  return !exited_;
}

bool DaemonProcess::terminate() {
  std::lock_guard lock(mutex_);
  if (exited_) return false;
  if (::kill(pid_, SIGTERM) != 0) return false;
  if (++terminateRequests_ == 1) {
    // Detached like the watcher, and as short-lived: it ends when the child does or is killed.
    try {
      std::thread([self = shared_from_this()] {
        self->killIfStillRunningAfterTerminate();
      }).detach();
    } catch (const std::system_error&) {
      // No thread to spare: the SIGTERM stands alone.
    }
  }
  return true;
}

void DaemonProcess::killIfStillRunningAfterTerminate() {
  std::unique_lock lock(mutex_);
  // Under the mutex, like terminate: a child marked exited may be reaped, its pid reused.
  if (!finishedChanged_.wait_for(lock, killAfter_, [this] { return exited_; })) {
    ::kill(pid_, SIGKILL);
  }
}

int DaemonProcess::terminationStatus() const {
  std::lock_guard lock(mutex_);
  return status_;
}

int DaemonProcess::terminationReason() const {
  std::lock_guard lock(mutex_);
  return reason_;
}

bool DaemonProcess::waitUntilFinished(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return finishedChanged_.wait_for(lock, timeout, [this] { return finished_; });
}

void DaemonProcess::watch(const ExitHandler& onExit) {
  // The child is left a zombie, so its pid stays ours until it is marked.
  ChildWatch watch(pid_);
  watch.wait();
  const auto end = watch.end();
  {
    std::lock_guard lock(mutex_);
    exited_ = true;
    if (end) {
      status_ = end->status;
      reason_ = end->code == CLD_EXITED ? normalExit : uncaughtSignal;
    }
  }
  finishedChanged_.notify_all();
  reapChild(pid_);
  try {
    if (onExit) onExit(*this);
  } catch (...) {
    // The handler only logs; a failed log record must not end the helper.
  }
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  finishedChanged_.notify_all();
}

}  // namespace zorvik
