#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/serial_queue.h"
#include "base/service_error.h"
#include "base/system_log.h"
#include "config/tunnel_config.h"
#include "service/helper_protocol.h"
#include "service/helper_settings.h"
#include "service/status_exchange.h"
#include "service/tunnel_journal.h"

namespace zorvik {

class DaemonProcess;
class DirectoryWatch;
namespace test_support {
class HelperServiceAccess;
}

/// The one object that owns the tunnel's state, and the operations on it.
/// Its face is construction and the four protocol operations; the steps and
/// fields behind them are its own (tests reach them through
/// test_support::HelperServiceAccess). Mutable fields are touched only by work
/// running on `queue`. Always held by std::shared_ptr: the daemon watcher
/// holds it weakly.
class HelperService final : public ZorvikHelperProtocol,
                            public std::enable_shared_from_this<HelperService> {
 public:
  /// The service error: what() is `msg`, unchanged.
  using Err = ServiceError;

  /// When a tunnel journal is at settings.journalPath, its replay is the
  /// first work on the queue, so every request is answered after it.
  explicit HelperService(HelperSettings settings = {});
  ~HelperService() override;
  HelperService(const HelperService&) = delete;
  HelperService& operator=(const HelperService&) = delete;

  // Protocol: the version at once, the rest queued on `queue`.
  void getVersion(VersionReply reply) override;
  void startTunnel(std::string config, ResultReply reply) override;
  void stopTunnel(ResultReply reply) override;
  void status(StatusReply reply) override;

 private:
  friend class test_support::HelperServiceAccess;

  // Operation bodies; run on `queue` only.
  void startOperation(const std::string& configText, const ResultReply& reply);
  void stopOperation(const ResultReply& reply);
  void statusOperation(const StatusReply& reply);

  /// Writes one message to the system log and appends it to the helper log file.
  void logLine(const std::string& message) const;

  void bringUp(const TunnelConfig& config);
  void launchDaemon();
  std::optional<std::string> waitForUAPISocket(std::chrono::milliseconds timeout) const;
  /// The daemon's exit notification: logs its status and reason through logLine.
  /// Runs on the daemon's watcher thread and reads no mutable field.
  void daemonTerminated(const DaemonProcess& process) const;
  /// On the queue after the daemon `ended`: while its tunnel is still up, the same
  /// teardown as a stop.
  void daemonEnded(const std::weak_ptr<const DaemonProcess>& ended);
  void tearDown();

  /// After a successful bring-up: keeps the tunnel's DNS text and starts the
  /// route watch, whose changes come back to the queue as networkChanged.
  void watchNetwork(const TunnelConfig& config);
  /// On the queue after the network changed, while a tunnel is up: the host
  /// route follows the default gateway, and services that came since get the
  /// tunnel's DNS and IPv6 treatment.
  void networkChanged();
  void followDefaultGateway();
  /// While the default gateway is still savedGateway: adds the host route to the
  /// server again when the server is not reached through it (the route went with a
  /// link that dropped), as the bring-up adds it.
  void restoreHostRoute();

  /// The journal's view of the fields: what a teardown would read now.
  TunnelJournal journalRecords() const;
  /// Writes journalRecords() to the journal; a failure is logged once per
  /// tunnel and never thrown, since the journal must not fail a start.
  void recordJournal();
  /// Undoes what a journal left by an earlier helper process records, through
  /// the same teardown, then removes it. A journal that cannot be read is
  /// logged and removed. The constructor queues it first when a journal is there.
  void replayJournal();
  void removeJournal();
  /// Ends the daemon of `daemonPath` that listens on the socket of the interface it named,
  /// waiting for its name and socket as a launch does: a replay's daemon whose pid never
  /// reached the journal.
  void endDaemonFoundBySocket(const std::string& daemonPath);

  void overrideDNS(std::string_view dnsText);
  void restoreDNS();
  void disableIPv6();
  void restoreIPv6();

  const HelperSettings& settings() const { return settings_; }
  /// Where the daemon writes its interface name.
  std::string interfaceNameFile() const { return runDir + "/zorvik.name"; }

  // The fields, in the documented order.
  const SystemLog log;
  SerialQueue queue;
  const std::string runDir;
  const std::string logPath;
  std::shared_ptr<DaemonProcess> proc;
  std::optional<std::string> iface;
  std::optional<std::string> sockPath;
  std::optional<std::string> endpointIP;
  std::optional<std::string> savedGateway;
  std::map<std::string, std::string> dnsBackup;
  std::vector<std::string> ipv6Disabled;
  bool active = false;

  HelperSettings settings_;
  // The daemon as the journal knows it: the executable is recorded before the
  // spawn, the pid right after. After a replay they are all that is known of it.
  std::optional<std::string> journaledDaemonPath_;
  std::optional<pid_t> journaledDaemonPid_;
  bool journalFailureLogged_ = false;
  bool journalDirectoryChecked_ = false;
  std::unique_ptr<DirectoryWatch> runDirWatch_;
  // While up: the configuration's DNS text, for services that come later; the
  // watch over the routing table; whether the lack of a usable default route
  // has been logged since it was last seen.
  std::optional<std::string> tunnelDNS_;
  std::unique_ptr<RouteWatch> routeWatch_;
  bool noGatewayLogged_ = false;
  // The status exchange under way, off the queue; a start or stop waits for it to end.
  StatusExchange statusExchange_;
  // The interface the default route had when savedGateway was taken: the same
  // gateway behind another interface (Wi-Fi to Ethernet on one network) is a move too.
  std::optional<std::string> gatewayInterface_;
};

}  // namespace zorvik
