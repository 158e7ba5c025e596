#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "config/tunnel_config.h"
#include "config/tunnel_dns.h"
#include "netsys/tunnel_network.h"
#include "platform/route_watch.h"
#include "service/helper_settings.h"
#include "service/tunnel_record.h"

namespace zorvik {

/// While a tunnel is up, keeps it with the network a laptop moves through: the host
/// route to the server follows the default gateway, the tunnel's interface and routes
/// are put back when taken away, and network services that came since the start get
/// the tunnel's DNS and IPv6 treatment. Used on the service queue
/// only, as the record it changes is.
class NetworkFollower {
 public:
  /// Writes one message to the system log and the helper log file.
  using LogLine = std::function<void(const std::string& message)>;
  /// Puts the tunnel's record on disk; called before each change it records is made.
  using RecordJournal = std::function<void()>;

  /// `settings` must outlive the follower.
  NetworkFollower(const HelperSettings& settings, LogLine logLine, RecordJournal recordJournal);
  NetworkFollower(const NetworkFollower&) = delete;
  NetworkFollower& operator=(const NetworkFollower&) = delete;

  /// The bring-up took savedGateway from a default route through `interface`: the
  /// same gateway behind another interface (Wi-Fi to Ethernet on one network) is a
  /// move too.
  void gatewayTaken(std::optional<std::string> interface);
  /// The bring-up is adding `routes` through the tunnel's interface.
  void routesAdded(TunnelRoutes routes);
  /// After a successful bring-up: keeps the configuration's DNS reading and starts the
  /// route watch, which calls `changed` on its own thread at every change, the tunnel
  /// interface `tunnelInterface` going down or away too. A watch that cannot start is logged; the
  /// tunnel works without.
  void watchNetwork(const TunnelConfig& config, const std::string& tunnelInterface,
                    RouteWatch::Changed changed);
  /// On the queue after the network changed, while `tunnel` is up: the interface is
  /// brought up again when down, the host route follows the default gateway, the tunnel
  /// routes gone are added again (looked for only when `tunnelTouched`: the interface or a
  /// route through it was among the changes), and services that came since get the DNS and
  /// IPv6 treatment, each change recorded in `tunnel`. Returns why the tunnel cannot go on
  /// (its interface gone, or what it lost could not be put back): it must be torn down.
  std::optional<std::string> networkChanged(TunnelRecord& tunnel, bool tunnelTouched);
  /// Stops the watch, so nothing a teardown changes comes back, and forgets the tunnel.
  void stop();

 private:
  void followDefaultGateway(TunnelRecord& tunnel);
  /// While the default gateway is still savedGateway: adds the host route to the
  /// server again when the server is not reached through it (the route went with a
  /// link that dropped), as the bring-up adds it.
  void restoreHostRoute(TunnelRecord& tunnel);
  /// Brings the interface up again when it is down; why the tunnel is lost when it is
  /// gone or stays down.
  std::optional<std::string> keepInterface(const TunnelRecord& tunnel);
  /// Adds again each tunnel route that is not there; why the tunnel is lost when one
  /// cannot be put back.
  std::optional<std::string> restoreTunnelRoutes(const TunnelRecord& tunnel);

  const HelperSettings& settings_;
  const LogLine logLine_;
  const RecordJournal recordJournal_;
  // While up: the configuration's DNS servers and search domains, for services that
  // come later; the watch over the routing table; whether the lack of a usable default
  // route has been logged since one was last seen; the interface of the default route
  // when savedGateway was taken; the routes through the tunnel; whether someone else's
  // host route to the server has been logged since ours was last seen.
  std::optional<TunnelDNS> tunnelDNS_;
  std::unique_ptr<RouteWatch> routeWatch_;
  bool noGatewayLogged_ = false;
  std::optional<std::string> gatewayInterface_;
  TunnelRoutes routes_;
  bool foreignHostRouteLogged_ = false;
};

}  // namespace zorvik
