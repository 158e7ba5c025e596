// The helper's process entry on macOS: launchd starts it on demand, as root, when the client
// looks up its Mach service. The steps are those of the Linux stand-in's entry: log the start,
// build the delegate and the listener, undo what a journal of an earlier process records,
// resume the listener, then serve until launchd stops the job: SIGTERM (or SIGINT) takes the
// tunnel down as a stop does, and the process exits with status 0, which KeepAlive
// {SuccessfulExit = false} does not relaunch.

#import <Foundation/Foundation.h>
#include <dispatch/dispatch.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "base/names.h"
#include "base/system_log.h"
#import "front/darwin/ZorvikHelperProtocol.h"
#import "front/darwin/listener.h"
#include "front/darwin/stop_signals.h"
#include "front/log_messages.h"
#include "front/log_sink.h"
#include "front/shared_service.h"
#include "platform/child_process.h"
#include "platform/standard_descriptors.h"
#include "service/helper_settings.h"

namespace {

// Created once and never released: XPC queues use them for as long as the process lives.
const zorvik::SystemLog* daemonLog;
ZorvikListenerDelegate* listenerDelegate;
NSXPCListener* listener;

}  // namespace

int main() {
  // Before anything opens a descriptor: one that lands on 0-2 would go to every child.
  zorvik::openStandardDescriptors();
  // Whatever launchd or a debugger left: an ignored SIGCHLD would have the kernel reap our
  // children, and every exit status would be lost.
  ::signal(SIGCHLD, SIG_DFL);

  std::shared_ptr<zorvik::LogSink> unifiedLog = zorvik::makeSystemLogSink();
  daemonLog = new zorvik::SystemLog(unifiedLog, zorvik::kHelperMachServiceName, "daemon");
  daemonLog->info(zorvik::kStartingMessage);
  // A stop during the replay below is handled once dispatch_main runs.
  zorvik::stopOnFirstSignal(*daemonLog);

  // Options and environment are ignored. The tunnel daemon sits beside the executable itself,
  // as the system reports its path, not beside a possibly relative argument zero.
  zorvik::HelperSettings settings;
  settings.daemonPath =
      zorvik::daemonPathFor(zorvik::processExecutablePath(::getpid()).value_or(""));
  settings.logSink = unifiedLog;
  zorvik::configureSharedService(std::move(settings));

  listenerDelegate = [[ZorvikListenerDelegate alloc] initWithDaemonLog:*daemonLog];
  listener = [[NSXPCListener alloc] initWithMachServiceName:kHelperMachServiceName];
  listener.delegate = listenerDelegate;
  // A helper that died with a tunnel up left its records behind: undo them before the listener
  // resumes, so no client request can meet the old state. launchd runs one helper at a time.
  zorvik::replayTunnelJournal();
  [listener resume];
  dispatch_main();
}
