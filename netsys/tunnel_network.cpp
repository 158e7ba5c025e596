#include "netsys/tunnel_network.h"

#include <algorithm>

#include "netsys/command_runner.h"
#include "netsys/gateway.h"

namespace zorvik {
namespace {

/// The first failing status of a series of runs, or 0.
void keepFirstFailure(int& status, int run) {
  if (status == 0) status = run;
}

void addOnce(std::vector<IPPrefix>& list, const IPPrefix& prefix) {
  if (std::find(list.begin(), list.end(), prefix) == list.end()) list.push_back(prefix);
}

const char* familyOption(const IPPrefix& prefix) { return prefix.address.v6 ? "-inet6" : "-inet"; }

IPPrefix ipv6Half(bool upper) {
  IPPrefix half{IPAddress{true, {}}, 1};
  if (upper) half.address.bytes[0] = 0x80;
  return half;
}

}  // namespace

TunnelRoutes planTunnelRoutes(const std::vector<IPPrefix>& allowed, const IPAddress& server,
                              bool interfaceHasIPv6) {
  TunnelRoutes routes;
  bool allIPv6Listed = false;
  for (const IPPrefix& range : allowed) {
    if (!range.address.v6) {
      for (const IPPrefix& part : prefixesAround(range, server)) addOnce(routes.ipv4, part);
      continue;
    }
    if (range.length == 0) {
      allIPv6Listed = true;
      // The two halves are longer than any IPv6 default route, so they win over it.
      if (interfaceHasIPv6) {
        addOnce(routes.ipv6, ipv6Half(false));
        addOnce(routes.ipv6, ipv6Half(true));
      }
    } else if (interfaceHasIPv6) {
      addOnce(routes.ipv6, range);
    }
  }
  const bool everythingElseTunneled = allIPv6Listed || coverWholeSpace(allowed, false);
  if (everythingElseTunneled && !coverWholeSpace(routes.ipv6, true)) {
    for (const IPPrefix& half : {ipv6Half(false), ipv6Half(true)}) {
      // A tunnel route of the same prefix already keeps that half off the other links.
      if (std::find(routes.ipv6.begin(), routes.ipv6.end(), half) == routes.ipv6.end())
        routes.rejectedIPv6.push_back(half);
    }
  }
  return routes;
}

int configureInterface(const std::string& ifconfig, const std::string& iface,
                       const InterfaceSettings& settings) {
  int status = 0;
  keepFirstFailure(status, runTool(ifconfig, {iface, "inet", settings.ipv4Address,
                                              settings.ipv4Address, "alias"}));
  keepFirstFailure(status, runTool(ifconfig, {iface, "mtu", std::to_string(settings.mtu)}));
  keepFirstFailure(status, runTool(ifconfig, {iface, "up"}));
  for (const IPPrefix& address : settings.ipv6Addresses) {
    keepFirstFailure(status, runTool(ifconfig, {iface, "inet6", address.address.text(), "prefixlen",
                                                std::to_string(address.length), "alias"}));
  }
  return status;
}

std::optional<bool> interfaceIsUp(const std::string& ifconfig, const std::string& iface) {
  const std::optional<std::string> output = runToolCapturingOutput(ifconfig, {iface});
  // "utun3: flags=8051<UP,POINTOPOINT,RUNNING,MULTICAST> mtu 1380" on its first line.
  if (!output || !output->starts_with(iface + ":")) return std::nullopt;
  const std::string_view first = std::string_view(*output).substr(0, output->find('\n'));
  const auto open = first.find('<');
  const auto close = first.find('>', open);
  if (open == std::string_view::npos || close == std::string_view::npos) return false;
  const std::string flags = "," + std::string(first.substr(open + 1, close - open - 1)) + ",";
  return flags.find(",UP,") != std::string::npos;
}

int bringInterfaceUp(const std::string& ifconfig, const std::string& iface) {
  return runTool(ifconfig, {iface, "up"});
}

int addHostRoute(const std::string& route, const std::string& serverIP,
                 const std::string& gateway) {
  return runTool(route, {"-q", "-n", "add", "-inet", serverIP + "/32", gateway});
}

int deleteHostRoute(const std::string& route, const std::string& serverIP,
                    const std::string& gateway) {
  return runTool(route, {"-q", "-n", "delete", "-inet", serverIP + "/32", gateway});
}

bool tunnelRouteInPlace(const std::string& route, const std::string& iface,
                        const IPPrefix& prefix) {
  const IPPrefix network = prefix.network();
  IPAddress last = network.address;
  for (int bit = network.length; bit < last.width(); ++bit)
    last.bytes[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
  // The first address, then, only when a longer route answers for it (the local network's
  // inside a tunnel route), the last.
  for (const IPAddress& address : {network.address, last}) {
    const DefaultRoute found = lookupRouteTo(route, address.text(), address.v6);
    const std::optional<IPPrefix> matched = matchedPrefix(found, address.v6);
    if (!matched) return false;
    if (*matched == network) return found.interface == iface;
    if (matched->length <= network.length || !network.contains(matched->address)) return false;
  }
  // Shadowed at both ends, yet not contradicted: the add said it took.
  return true;
}

int addTunnelRoute(const std::string& route, const std::string& iface, const IPPrefix& prefix) {
  return runTool(route,
                 {"-q", "-n", "add", familyOption(prefix), prefix.text(), "-interface", iface});
}

std::optional<IPPrefix> addTunnelRoutes(const std::string& route, const std::string& iface,
                                        const TunnelRoutes& routes) {
  for (const auto* family : {&routes.ipv4, &routes.ipv6}) {
    for (const IPPrefix& prefix : *family) {
      // Another program's route of the same prefix makes the add fail; one through another
      // interface could also stand after a status of 0.
      if (addTunnelRoute(route, iface, prefix) != 0 || !tunnelRouteInPlace(route, iface, prefix))
        return prefix;
    }
  }
  return std::nullopt;
}

int addRejectRoute(const std::string& route, const IPPrefix& prefix) {
  const std::string loopback = prefix.address.v6 ? "::1" : "127.0.0.1";
  return runTool(route,
                 {"-q", "-n", "add", familyOption(prefix), prefix.text(), loopback, "-reject"});
}

int deleteRejectRoute(const std::string& route, const IPPrefix& prefix) {
  const std::string loopback = prefix.address.v6 ? "::1" : "127.0.0.1";
  return runTool(route, {"-q", "-n", "delete", familyOption(prefix), prefix.text(), loopback});
}

}  // namespace zorvik
