#include "front/darwin/stop_signals.h"

#include <dispatch/dispatch.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>

#include "front/shared_service.h"
#include "front/stop_on_signal.h"

namespace zorvik {
namespace {

// Kept for the life of the process, like every object of the start-up.
dispatch_source_t stopSources[2];

}  // namespace

// SIGTERM and SIGINT arrive through dispatch sources on the main queue, so the teardown is
// started from ordinary code, not from a signal handler. Ignored, so that the default action
// does not end the process first; the sources still see them.
void stopOnFirstSignal(const SystemLog& daemonLog) {
  const SystemLog* log = &daemonLog;
  const int signals[] = {SIGTERM, SIGINT};
  for (int i = 0; i < 2; ++i) {
    const int number = signals[i];
    ::signal(number, SIG_IGN);
    dispatch_source_t source = dispatch_source_create(
        DISPATCH_SOURCE_TYPE_SIGNAL, static_cast<uintptr_t>(number), 0, dispatch_get_main_queue());
    dispatch_source_set_event_handler(source, ^{
      // Once: a second signal while the teardown runs only finds the sources gone.
      for (dispatch_source_t each : stopSources) dispatch_source_cancel(each);
      stopOnSignal(number, *log, sharedService, [](int status) { ::_exit(status); });
    });
    dispatch_resume(source);
    stopSources[i] = source;
  }
}

}  // namespace zorvik
