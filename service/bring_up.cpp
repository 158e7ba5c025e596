#include <filesystem>

#include "config/uapi_request.h"
#include "netsys/dns.h"
#include "netsys/gateway.h"
#include "netsys/ipv6.h"
#include "netsys/tunnel_network.h"
#include "platform/private_file.h"
#include "service/endpoint.h"
#include "service/helper_service.h"

namespace zorvik {
namespace {

std::string valueOr(const StringMap& map, const std::string& key, std::string fallback) {
  auto it = map.find(key);
  return it == map.end() ? fallback : it->second;
}

}  // namespace

void HelperService::bringUp(const TunnelConfig& config) {
  std::filesystem::create_directories(runDir);
  // The daemon's socket is known by its name in here: in a directory that someone else can
  // write to, any process could have put its own socket there first.
  if (!isPrivateDirectory(runDir))
    throw Err("небезопасный каталог " + runDir + ": владелец не root или запись открыта другим");

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

  // From here on nothing fails: tool exit statuses are not looked at.
  const std::string& name = *tunnel.iface;
  const InterfaceSettings interface {
    *localAddress, interfaceMTU(config.interface), interfaceIPv6Addresses(config.interface)
  };
  configureInterface(settings.ifconfigTool, name, interface);
  addHostRoute(settings.routeTool, *tunnel.endpointIP, *tunnel.savedGateway);
  const TunnelRoutes routes =
      planTunnelRoutes(peerAllowedIPs(config.peer), *parseIPAddress(*tunnel.endpointIP),
                       !interface.ipv6Addresses.empty());
  addTunnelRoutes(settings.routeTool, name, routes);
  for (const IPPrefix& prefix : routes.rejectedIPv6) {
    tunnel.rejectRoutes.push_back(prefix.text());
    recordJournal();
    addRejectRoute(settings.routeTool, prefix);
  }

  overrideDNS(settings.networksetupTool, valueOr(config.interface, "dns", ""), tunnel.dnsBackup,
              [this] { recordJournal(); });
  disableIPv6(settings.networksetupTool, tunnel.ipv6Disabled, [this] { recordJournal(); });

  logLine("туннель поднят на " + name + " → " + *tunnel.endpointIP);
}

}  // namespace zorvik
