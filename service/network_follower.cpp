#include "service/network_follower.h"

#include <exception>

#include "netsys/dns.h"
#include "netsys/gateway.h"
#include "netsys/ipv6.h"
#include "netsys/tunnel_network.h"

namespace zorvik {

NetworkFollower::NetworkFollower(const HelperSettings& settings, LogLine logLine,
                                 RecordJournal recordJournal)
    : settings_(settings), logLine_(std::move(logLine)), recordJournal_(std::move(recordJournal)) {}

void NetworkFollower::gatewayTaken(std::optional<std::string> interface) {
  gatewayInterface_ = std::move(interface);
}

void NetworkFollower::watchNetwork(const TunnelConfig& config, const std::string& tunnelInterface,
                                   RouteWatch::Changed changed) {
  const auto dns = config.interface.find("dns");
  tunnelDNS_ = dns == config.interface.end() ? "" : dns->second;
  try {
    routeWatch_ = settings_.routeWatch(std::move(changed), tunnelInterface);
  } catch (const std::exception& error) {
    // The tunnel works without it, as it did before networks changed.
    logLine_(std::string("не удалось начать слежение за маршрутами: ") + error.what());
  }
}

void NetworkFollower::networkChanged(TunnelRecord& tunnel) {
  if (!tunnel.active || !tunnelDNS_) return;
  followDefaultGateway(tunnel);
  overrideDNS(settings_.networksetupTool, *tunnelDNS_, tunnel.dnsBackup, recordJournal_);
  disableIPv6(settings_.networksetupTool, tunnel.ipv6Disabled, recordJournal_);
}

void NetworkFollower::stop() {
  routeWatch_.reset();
  tunnelDNS_.reset();
  gatewayInterface_.reset();
  noGatewayLogged_ = false;
}

void NetworkFollower::followDefaultGateway(TunnelRecord& tunnel) {
  if (!tunnel.endpointIP || !tunnel.savedGateway) return;
  const DefaultRoute current = lookupDefaultRoute(settings_.routeTool);
  // No default route, or one through the tunnel itself: the server would be routed
  // into its own tunnel, so the host route stays until a usable one appears.
  if (!current.gateway || current.interface == tunnel.iface) {
    if (!noGatewayLogged_)
      logLine_("нет маршрута по умолчанию вне туннеля, маршрут к серверу оставлен");
    noGatewayLogged_ = true;
    return;
  }
  noGatewayLogged_ = false;
  const bool sameGateway = *current.gateway == *tunnel.savedGateway;
  // The host route went with the interface it was on; only an interface known on
  // both sides can tell.
  const bool sameInterface =
      !gatewayInterface_ || !current.interface || *current.interface == *gatewayInterface_;
  if (sameGateway && sameInterface) {
    restoreHostRoute(tunnel);
    return;
  }

  const std::string& route = settings_.routeTool;
  const std::string old = *tunnel.savedGateway;
  deleteHostRoute(route, *tunnel.endpointIP, old);
  // On record before the new route is made, as every change is.
  tunnel.savedGateway = current.gateway;
  gatewayInterface_ = current.interface;
  recordJournal_();
  addHostRoute(route, *tunnel.endpointIP, *tunnel.savedGateway);
  if (sameGateway) {
    logLine_("шлюз " + old + " теперь за " + *current.interface + ", маршрут к серверу перенесён");
  } else {
    logLine_("шлюз сменился: " + old + " → " + *tunnel.savedGateway +
             ", маршрут к серверу перенесён");
  }
}

void NetworkFollower::restoreHostRoute(TunnelRecord& tunnel) {
  const std::string& route = settings_.routeTool;
  const DefaultRoute toServer = lookupRouteTo(route, *tunnel.endpointIP);
  // A link that went down took the host route with it and came back with the same gateway,
  // or someone deleted it: the server is then reached by whatever else matches it.
  if (toServer.destination == tunnel.endpointIP && toServer.gateway == tunnel.savedGateway &&
      toServer.interface != tunnel.iface)
    return;
  // On record before the route is made, as every change is.
  recordJournal_();
  addHostRoute(route, *tunnel.endpointIP, *tunnel.savedGateway);
  logLine_("маршрут к серверу восстановлен через " + *tunnel.savedGateway);
}

}  // namespace zorvik
