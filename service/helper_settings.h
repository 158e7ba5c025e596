#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "base/system_log.h"
#include "config/uapi_client.h"
#include "netsys/command_runner.h"
#include "platform/route_watch.h"
#include "service/endpoint.h"

namespace zorvik {

/// Every path, tool and time limit of the helper. Production uses the defaults
/// (plus the daemon path that main derives from its own executable's path); tests
/// move paths and shorten waits.
struct HelperSettings {
  std::string runDir = "/var/run/amneziawg";
  std::string logPath = "/Library/Logs/ZorvikVPN-helper.log";
  std::string daemonLogPath = "/Library/Logs/ZorvikVPN-awg.log";
  /// The tunnel daemon's executable, "amneziawg-go" beside the helper's own.
  std::string daemonPath = "amneziawg-go";
  /// What a teardown must undo, kept on disk while a tunnel is up.
  std::string journalPath = "/Library/Application Support/ZorvikVPN/tunnel-journal.json";

  std::string ifconfigTool = "/sbin/ifconfig";
  std::string routeTool = "/sbin/route";
  std::string networksetupTool = "/usr/sbin/networksetup";

  std::chrono::milliseconds interfaceNameWait{6000};
  std::chrono::milliseconds socketWait{8000};
  std::chrono::milliseconds pollInterval{100};
  /// Send and receive time-out of one UAPI exchange.
  std::chrono::milliseconds uapiTimeout = kUAPITimeout;
  /// How long after a start a tunnel without a handshake is logged, and how often it is
  /// looked at again until its first.
  std::chrono::milliseconds handshakeGrace{30000};
  /// How long a start waits for the endpoint's name to resolve.
  std::chrono::milliseconds resolveDeadline = kResolveDeadline;
  /// How long one tool run may take before the tool and its process group are killed.
  std::chrono::milliseconds toolRunLimit = kToolRunLimit;

  /// Starts watching the network while a tunnel is up: `changed` is called on the
  /// watch's own thread; the tunnel's interface is named so its own changes are
  /// not reported. Tests put a fake here.
  using RouteWatchStarter = std::function<std::unique_ptr<RouteWatch>(
      RouteWatch::Changed changed, const std::string& tunnelInterface)>;
  RouteWatchStarter routeWatch = RouteWatch::start;

  /// Where system log records go; null drops them.
  std::shared_ptr<LogSink> logSink;
};

/// "amneziawg-go" in the directory of `helperPath`, the helper's real executable path. Empty
/// (no daemon at all) unless that path is absolute: a root daemon must never be found
/// relative to the working directory.
std::string daemonPathFor(const std::string& helperPath);

}  // namespace zorvik
