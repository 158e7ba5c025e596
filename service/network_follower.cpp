#include "service/network_follower.h"

#include <exception>

#include "config/tunnel_dns.h"
#include "netsys/dns.h"
#include "netsys/gateway.h"
#include "netsys/ipv6.h"
#include "netsys/tunnel_network.h"
#include "service/service_identities.h"

namespace zorvik {

NetworkFollower::NetworkFollower(const HelperSettings& settings, LogLine logLine,
                                 RecordJournal recordJournal)
    : settings_(settings), logLine_(std::move(logLine)), recordJournal_(std::move(recordJournal)) {}

void NetworkFollower::gatewayTaken(std::optional<std::string> interface) {
  gatewayInterface_ = std::move(interface);
}

void NetworkFollower::routesAdded(TunnelRoutes routes) { routes_ = std::move(routes); }

void NetworkFollower::watchNetwork(const TunnelConfig& config, const std::string& tunnelInterface,
                                   RouteWatch::Changed changed) {
  tunnelDNS_ = interfaceDNS(config.interface);
  try {
    routeWatch_ = settings_.routeWatch(std::move(changed), tunnelInterface);
  } catch (const std::exception& error) {
    // The tunnel works without it, as it did before networks changed.
    logLine_(std::string("не удалось начать слежение за маршрутами: ") + error.what());
  }
}

std::optional<std::string> NetworkFollower::networkChanged(TunnelRecord& tunnel,
                                                           bool tunnelTouched) {
  if (!tunnel.active || !tunnelDNS_ || !tunnel.iface) return std::nullopt;
  if (auto lost = keepInterface(tunnel)) return lost;
  followDefaultGateway(tunnel);
  // Tens of look-ups: not on every roam of the physical network.
  if (auto lost = tunnelTouched ? restoreTunnelRoutes(tunnel) : std::nullopt) {
    // The interface may have gone while its routes were being looked at.
    if (!interfaceIsUp(settings_.ifconfigTool, *tunnel.iface))
      return "интерфейс туннеля пропал: " + *tunnel.iface;
    return lost;
  }
  // A service renamed since its backup is listed under its new name with the tunnel's
  // settings: backed up as its old name's backup says.
  ServiceListing listing(settings_.networksetupTool);
  const auto recorded = [this, &listing, &tunnel] {
    listing.recordIdentities(tunnel);
    recordJournal_();
  };
  const auto earlierName = [&listing, &tunnel](const std::string& service) {
    return listing.earlierName(tunnel, service);
  };
  // A service that does not take the tunnel's servers keeps its own; the tunnel goes on.
  if (const auto service = overrideDNS(settings_.networksetupTool, *tunnelDNS_, tunnel.dnsBackup,
                                       tunnel.searchDomainsBackup, recorded, earlierName))
    logLine_("DNS не установлен: " + *service);
  disableIPv6(settings_.networksetupTool, tunnel.ipv6Disabled, recorded);
  return std::nullopt;
}

void NetworkFollower::stop() {
  routeWatch_.reset();
  tunnelDNS_.reset();
  gatewayInterface_.reset();
  noGatewayLogged_ = false;
  routes_ = {};
  foreignHostRouteLogged_ = false;
}

std::optional<std::string> NetworkFollower::keepInterface(const TunnelRecord& tunnel) {
  const std::string& name = *tunnel.iface;
  const std::optional<bool> up = interfaceIsUp(settings_.ifconfigTool, name);
  if (!up) return "интерфейс туннеля пропал: " + name;
  if (*up) return std::nullopt;
  if (bringInterfaceUp(settings_.ifconfigTool, name) != 0 ||
      interfaceIsUp(settings_.ifconfigTool, name) != true)
    return "интерфейс туннеля не поднят снова: " + name;
  logLine_("интерфейс туннеля поднят снова: " + name);
  return std::nullopt;
}

std::optional<std::string> NetworkFollower::restoreTunnelRoutes(const TunnelRecord& tunnel) {
  const std::string& route = settings_.routeTool;
  const std::string& name = *tunnel.iface;
  std::size_t restored = 0;
  for (const auto* family : {&routes_.ipv4, &routes_.ipv6}) {
    for (const IPPrefix& prefix : *family) {
      if (tunnelRouteInPlace(route, name, prefix)) continue;
      if (addTunnelRoute(route, name, prefix) != 0 || !tunnelRouteInPlace(route, name, prefix))
        return "маршрут туннеля не восстановлен: " + prefix.text();
      ++restored;
    }
  }
  if (restored != 0)
    logLine_("маршруты туннеля восстановлены: " + std::to_string(restored) + " через " + name);
  return std::nullopt;
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
  if (addHostRoute(route, *tunnel.endpointIP, *tunnel.savedGateway) != 0) {
    logLine_("маршрут к серверу не перенесён на " + *tunnel.savedGateway);
  } else if (sameGateway) {
    logLine_("шлюз " + old + " теперь за " + *current.interface + ", маршрут к серверу перенесён");
  } else {
    logLine_("шлюз сменился: " + old + " → " + *tunnel.savedGateway +
             ", маршрут к серверу перенесён");
  }
}

void NetworkFollower::restoreHostRoute(TunnelRecord& tunnel) {
  const std::string& route = settings_.routeTool;
  const DefaultRoute toServer = lookupRouteTo(route, *tunnel.endpointIP);
  // Through the tunnel, a host route is the kernel's clone of a tunnel route, not a route.
  if (toServer.destination == tunnel.endpointIP && toServer.interface != tunnel.iface) {
    if (toServer.gateway == tunnel.savedGateway) {
      foreignHostRouteLogged_ = false;
      return;
    }
    // Someone else's host route to the server: ours could not be added beside it, and
    // theirs is not ours to delete.
    if (!foreignHostRouteLogged_) {
      logLine_("маршрут к серверу через " +
               toServer.gateway.value_or(toServer.interface.value_or("?")) + " не наш, оставлен");
    }
    foreignHostRouteLogged_ = true;
    return;
  }
  foreignHostRouteLogged_ = false;
  // A link that went down took the host route with it and came back with the same gateway,
  // or someone deleted it: the server is then reached by whatever else matches it.
  // On record before the route is made, as every change is.
  recordJournal_();
  if (addHostRoute(route, *tunnel.endpointIP, *tunnel.savedGateway) == 0) {
    logLine_("маршрут к серверу восстановлен через " + *tunnel.savedGateway);
  } else {
    logLine_("маршрут к серверу не восстановлен через " + *tunnel.savedGateway);
  }
}

}  // namespace zorvik
