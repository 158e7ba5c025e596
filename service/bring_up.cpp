#include <system_error>

#include "config/tunnel_dns.h"
#include "config/uapi_request.h"
#include "netsys/dns.h"
#include "netsys/gateway.h"
#include "netsys/ipv6.h"
#include "netsys/tunnel_network.h"
#include "platform/private_file.h"
#include "service/endpoint.h"
#include "service/helper_service.h"
#include "service/service_identities.h"

namespace zorvik {

void HelperService::bringUp(const TunnelConfig& config) {
  // As a Mac's /var/run entries, 0755 whatever the umask: a 0775 one would be refused below.
  try {
    makeDirectories(settings.runDir, 0755);
  } catch (const std::system_error& error) {
    throw Err("не удалось создать каталог " + settings.runDir + ": " + error.code().message());
  }
  // The daemon's socket is known by its name in here: in a directory that someone else can
  // write to, any process could have put its own socket there first.
  if (!isPrivateDirectory(settings.runDir))
    throw Err("небезопасный каталог " + settings.runDir +
              ": владелец не root или запись открыта другим");

  // One "route -n get default", as ever; its interface is kept for the route watch.
  const DefaultRoute defaultRoute = lookupDefaultRoute(settings.routeTool);
  if (!defaultRoute.gateway) throw Err("нет маршрута по умолчанию");
  tunnel.savedGateway = defaultRoute.gateway;
  follower.gatewayTaken(defaultRoute.interface);

  const auto [host, port] = peerEndpoint(config.peer);
  auto address = resolveEndpointHost(host, settings.resolveDeadline);
  if (!address) throw Err("не удалось разрешить " + host);
  tunnel.endpointIP = address;
  // One record for both: nothing on the host changes between them.
  recordJournal();

  launchDaemon();

  applyUAPIConfig(*tunnel.sockPath, config.interface, config.peer, *tunnel.endpointIP + ":" + port,
                  settings.uapiTimeout);

  auto localAddress = interfaceIPv4Address(config.interface);
  if (!localAddress) throw Err("нет IPv4-адреса в [Interface]");

  // Each step the tunnel cannot work without is checked, and the first that did not take
  // fails the start: a tunnel reported up must not leave traffic or names outside it. The
  // host route is not one (the tunnel routes never cover the server), nor IPv6 off.
  const std::string& name = *tunnel.iface;
  const InterfaceSettings interface {
    *localAddress, interfaceMTU(config.interface), interfaceIPv6Addresses(config.interface)
  };
  if (configureInterface(settings.ifconfigTool, name, interface) != 0)
    throw Err("интерфейс не поднят: " + name);
  addHostRoute(settings.routeTool, *tunnel.endpointIP, *tunnel.savedGateway);
  const TunnelRoutes routes =
      planTunnelRoutes(peerAllowedIPs(config.peer), *parseIPAddress(*tunnel.endpointIP),
                       !interface.ipv6Addresses.empty());
  follower.routesAdded(routes);
  if (const auto missing = addTunnelRoutes(settings.routeTool, name, routes))
    throw Err("маршрут не добавлен: " + missing->text());
  for (const IPPrefix& prefix : routes.rejectedIPv6) {
    tunnel.rejectRoutes.push_back(prefix.text());
    recordJournal();
    if (addRejectRoute(settings.routeTool, prefix) != 0) {
      // Not ours to delete: a route of that prefix already there makes the add fail.
      tunnel.rejectRoutes.pop_back();
      recordJournal();
      throw Err("запрещающий маршрут не добавлен: " + prefix.text());
    }
  }

  // Each backup is journaled with its service's identity, so a rename cannot lose it.
  ServiceListing listing(settings.networksetupTool);
  const auto recorded = [this, &listing] {
    listing.recordIdentities(tunnel);
    recordJournal();
  };
  const auto earlierName = [this, &listing](const std::string& service) {
    return listing.earlierName(tunnel, service);
  };
  if (const auto service =
          overrideDNS(settings.networksetupTool, interfaceDNS(config.interface), tunnel.dnsBackup,
                      tunnel.searchDomainsBackup, recorded, earlierName))
    throw Err("DNS не установлен: " + *service);
  disableIPv6(settings.networksetupTool, tunnel.ipv6Disabled, recorded);

  logLine("туннель поднят на " + name + " → " + *tunnel.endpointIP);
}

}  // namespace zorvik
