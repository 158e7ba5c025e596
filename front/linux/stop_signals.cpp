#include "front/linux/stop_signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include "front/shared_service.h"
#include "front/stop_on_signal.h"

namespace zorvik {
namespace {

sigset_t stopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

int waitForStopSignal() {
  const sigset_t set = stopSignals();
  for (;;) {
    int signal = 0;
    if (::sigwait(&set, &signal) == 0) return signal;
  }
}

}  // namespace

void blockStopSignals() {
  // An ignored signal is never pending, so sigwait would not see it: a shell leaves SIGINT
  // ignored in a job it starts in the background.
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
  const sigset_t set = stopSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void stopOnFirstSignal(const SystemLog& daemonLog) {
  stopOnSignal(waitForStopSignal(), daemonLog, sharedService, [](int status) { ::_exit(status); });
  // The queue ends the process; a second signal finds this thread parked and stays pending.
  for (;;) ::pause();
}

}  // namespace zorvik
