#include <exception>

#include "netsys/command_runner.h"
#include "netsys/gateway.h"
#include "service/helper_service.h"

namespace zorvik {

void HelperService::watchNetwork(const TunnelConfig& config) {
  const auto dns = config.interface.find("dns");
  tunnelDNS_ = dns == config.interface.end() ? "" : dns->second;
  std::weak_ptr<HelperService> service = weak_from_this();
  try {
    routeWatch_ = settings().routeWatch(
        [service] {
          // The watch's thread only hands the change on; the state lives on the queue.
          if (auto alive = service.lock()) {
            alive->queue.async([service] {
              if (auto stillAlive = service.lock()) stillAlive->networkChanged();
            });
          }
        },
        *iface);
  } catch (const std::exception& error) {
    // The tunnel works without it, as it did before networks changed.
    logLine(std::string("не удалось начать слежение за маршрутами: ") + error.what());
  }
}

void HelperService::networkChanged() {
  if (!active || !tunnelDNS_) return;
  followDefaultGateway();
  overrideDNS(*tunnelDNS_);
  disableIPv6();
}

void HelperService::followDefaultGateway() {
  if (!endpointIP || !savedGateway) return;
  const DefaultRoute current = lookupDefaultRoute(settings().routeTool);
  // No default route, or one through the tunnel itself: the server would be routed
  // into its own tunnel, so the host route stays until a usable one appears.
  if (!current.gateway || current.interface == iface) {
    if (!noGatewayLogged_)
      logLine("нет маршрута по умолчанию вне туннеля, маршрут к серверу оставлен");
    noGatewayLogged_ = true;
    return;
  }
  noGatewayLogged_ = false;
  const bool sameGateway = *current.gateway == *savedGateway;
  // The host route went with the interface it was on; only an interface known on
  // both sides can tell.
  const bool sameInterface =
      !gatewayInterface_ || !current.interface || *current.interface == *gatewayInterface_;
  if (sameGateway && sameInterface) {
    restoreHostRoute();
    return;
  }

  const std::string& route = settings().routeTool;
  const std::string old = *savedGateway;
  runTool(route, {"-q", "-n", "delete", "-inet", *endpointIP + "/32", old});
  // On record before the new route is made, as every change is.
  savedGateway = current.gateway;
  gatewayInterface_ = current.interface;
  recordJournal();
  runTool(route, {"-q", "-n", "add", "-inet", *endpointIP + "/32", *savedGateway});
  if (sameGateway) {
    logLine("шлюз " + old + " теперь за " + *current.interface + ", маршрут к серверу перенесён");
  } else {
    logLine("шлюз сменился: " + old + " → " + *savedGateway + ", маршрут к серверу перенесён");
  }
}

void HelperService::restoreHostRoute() {
  const std::string& route = settings().routeTool;
  const DefaultRoute toServer = lookupRouteTo(route, *endpointIP);
  // A link that went down took the host route with it, and came back with the same
  // gateway: the server is then reached through the tunnel itself.
  if (toServer.gateway == savedGateway && toServer.interface != iface) return;
  // On record before the route is made, as every change is.
  recordJournal();
  runTool(route, {"-q", "-n", "add", "-inet", *endpointIP + "/32", *savedGateway});
  logLine("маршрут к серверу восстановлен через " + *savedGateway);
}

}  // namespace zorvik
