#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/serial_queue.h"
#include "base/service_error.h"
#include "base/system_log.h"
#include "config/tunnel_config.h"
#include "service/handshake_watch.h"
#include "service/helper_protocol.h"
#include "service/helper_settings.h"
#include "service/network_follower.h"
#include "service/status_exchange.h"
#include "service/tunnel_daemons.h"
#include "service/tunnel_journal.h"
#include "service/tunnel_record.h"

namespace zorvik {

class DaemonProcess;
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

  /// When a tunnel journal is at helperSettings.journalPath, its replay is the
  /// first work on the queue, so every request is answered after it.
  explicit HelperService(HelperSettings helperSettings = {});
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
  std::optional<std::string> waitForUAPISocket(std::chrono::milliseconds timeout);
  /// Waits, bounded by the kill window, until the daemon the last teardown ended is gone, so
  /// a new one never meets its interface or socket.
  void awaitEndedDaemon();
  /// The daemon's exit notification: logs its status and reason through logLine.
  /// Runs on the daemon's watcher thread and reads no mutable field.
  void daemonTerminated(const DaemonProcess& process) const;
  /// On the queue after the daemon `ended`: while its tunnel is still up, the same
  /// teardown as a stop.
  void daemonEnded(const std::weak_ptr<const DaemonProcess>& ended);
  void tearDown();

  /// After a successful bring-up: the follower watches the network, and each change
  /// comes back to the queue, where the follower brings the tunnel's record up to date.
  void watchNetwork(const TunnelConfig& config);

  /// After a successful start: the handshake watch starts over, and its first look is
  /// `handshakeGrace` later, timed on the queue.
  void watchHandshake();
  /// On the queue, `handshakeGrace` after the start or the last look: asks the daemon (off
  /// the queue, sharing a status exchange) and looks again while no handshake was seen.
  void checkHandshake(std::uint64_t serial);
  /// On the queue: one reading of the counters of tunnel `serial`, from a status or a check.
  void noteHandshake(std::uint64_t serial, const DaemonCounters& counters, bool fromCheck);

  /// Writes `tunnel` to the journal; a failure is logged once per tunnel and
  /// never thrown, since the journal must not fail a start.
  void recordJournal() { journal.record(tunnel); }
  /// Undoes what a journal left by an earlier helper process records, through
  /// the same teardown, then removes it. A journal that cannot be read is
  /// logged and removed. The constructor queues it first when a journal is there.
  void replayJournal();
  /// Ends the daemon of `daemonPath` that listens on the socket of the interface it named,
  /// waiting for its name and socket as a launch does: a replay's daemon whose pid never
  /// reached the journal.
  void endDaemonFoundBySocket(const std::string& daemonPath);

  /// Where the daemon writes its interface name.
  std::string interfaceNameFile() const { return settings.runDir + "/zorvik.name"; }

  // The fields, in the order docs/ARCHITECTURE.md gives them ("The service's state").
  const SystemLog log;
  SerialQueue queue;
  TunnelDaemons daemons;
  // What a teardown reads and the journal keeps: iface, sockPath, endpointIP,
  // savedGateway, dnsBackup, searchDomainsBackup, ipv6Disabled, active, and the daemon
  // as the journal knows it (after a replay, all that is known of it).
  TunnelRecord tunnel;
  const HelperSettings settings;
  // At settings.journalPath; removed, and so started over, by every teardown.
  TunnelJournal journal;
  // The status exchange under way, off the queue; a start or stop waits for it to end.
  StatusExchange statusExchange;
  NetworkFollower follower;
  HandshakeWatch handshake;
};

}  // namespace zorvik
