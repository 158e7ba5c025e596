// The Linux stand-in's process entry, in the same steps as the macOS one: log the
// start, build the delegate and the listener, undo what a journal of an earlier
// process records, resume the listener, then serve until SIGTERM or SIGINT, which
// take the tunnel down as a stop does and end the process with status 0.
#include <malloc.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <memory>

#include "base/names.h"
#include "front/helper_delegate.h"
#include "front/linux/code_signing.h"
#include "front/linux/listener.h"
#include "front/linux/peer_identity.h"
#include "front/linux/refusal_log.h"
#include "front/linux/stop_signals.h"
#include "front/log_messages.h"
#include "front/log_sink.h"
#include "front/shared_service.h"
#include "platform/child_process.h"
#include "platform/standard_descriptors.h"

using namespace zorvik;

int main() {
  // Before anything opens a descriptor: one that lands on 0-2 would go to every child.
  openStandardDescriptors();
  // Before any thread exists, so that all of them leave these signals to the main thread.
  blockStopSignals();
  // A client that goes away mid-reply must not end the helper.
  ::signal(SIGPIPE, SIG_IGN);
  // Whatever the parent left: an ignored SIGCHLD would have the kernel reap our children,
  // and every exit status would be lost.
  ::signal(SIGCHLD, SIG_DFL);
  // One malloc arena for all threads: the top of a per-thread arena is never given back, so a
  // flood of large requests would leave megabytes behind in each connection thread's arena.
  ::mallopt(M_ARENA_MAX, 1);

  std::shared_ptr<LogSink> sink = makeSystemLogSink();
  // Created once and never released, like every object of the start-up.
  const auto* daemonLog = new SystemLog(sink, kHelperMachServiceName, "daemon");
  daemonLog->info(kStartingMessage);

  // From the executable itself, as the system reports its path, not from argument zero,
  // which may be relative.
  const std::string ownPath = processExecutablePath(::getpid()).value_or("");
  HelperSettings settings;
  settings.daemonPath = daemonPathFor(ownPath);
  settings.logSink = sink;
  configureSharedService(std::move(settings));

  // The delegate logs through the refusal log: a flood of refused connections costs the log
  // a few records a second.
  auto refusalLog = std::make_shared<RefusalLog>(sink);
  const auto* delegateLog = new SystemLog(refusalLog, kHelperMachServiceName, "daemon");
  const auto* delegate =
      new HelperDelegate(std::make_shared<LinuxCodeSigning>(ownPath), *delegateLog);
  ListenerOptions options;
  options.refusalLog = std::move(refusalLog);

  // Bound but not yet accepting; refused while another helper answers on the socket,
  // whose journal is its own.
  LinuxListener* listener = nullptr;
  try {
    listener = new LinuxListener(
        std::move(options), *delegate, *daemonLog,
        [] { return std::static_pointer_cast<ZorvikHelperProtocol>(sharedService()); },
        [](int socketFd) { return std::make_unique<LinuxPeerIdentity>(socketFd); });
  } catch (const std::exception& error) {
    daemonLog->error(error.what());
    return EXIT_FAILURE;
  }
  // A helper that died with a tunnel up left its records behind: undo them
  // before any client can ask for anything.
  replayTunnelJournal();
  listener->resume();

  stopOnFirstSignal(*daemonLog);
}
