// The Linux stand-in's process entry: log the start, undo what a journal of an
// earlier process records, build the delegate, open the listener, then serve
// for good. There is no shutdown path.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <memory>

#include "front/helper_delegate.h"
#include "front/linux/linux_code_signing.h"
#include "front/linux/socket_listener.h"
#include "front/log_messages.h"
#include "front/shared_service.h"
#include "service/constants.h"

using namespace zorvik;

int main() {
  // A client that goes away mid-reply must not end the helper.
  ::signal(SIGPIPE, SIG_IGN);

  auto sink = std::make_shared<StderrLogSink>();
  // Created once and never released, like every object of the start-up.
  const auto* daemonLog = new SystemLog(sink, kHelperMachServiceName, "daemon");
  daemonLog->info(kStartingMessage);

  HelperSettings settings;
  // From the executable itself, not from argument zero, which may be relative.
  settings.daemonPath = daemonPathFor(ownExecutablePath());
  settings.logSink = sink;
  configureSharedService(std::move(settings));
  // A helper that died with a tunnel up left its records behind: undo them
  // before any client can ask for anything. A live helper's journal is its own.
  if (!helperAnswersAt(ListenerOptions{}.socketPath)) replayTunnelJournal();

  const auto* delegate =
      new HelperDelegate(std::make_shared<LinuxCodeSigning>(ownExecutablePath()), *daemonLog);

  SocketListener* listener = nullptr;
  try {
    listener = new SocketListener(
        ListenerOptions{}, *delegate, *daemonLog,
        [] { return std::static_pointer_cast<ZorvikHelperProtocol>(sharedService()); },
        [](int socketFd) { return std::make_unique<LinuxPeerIdentity>(socketFd); });
  } catch (const std::exception& error) {
    daemonLog->error(error.what());
    return EXIT_FAILURE;
  }
  listener->resume();

  for (;;) ::pause();
}
