#include "netsys/tunnel_network.h"

#include <algorithm>

#include "netsys/command_runner.h"

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
    keepFirstFailure(status, runTool(ifconfig, {iface, "inet6", address.address.text(),
                                                "prefixlen", std::to_string(address.length),
                                                "alias"}));
  }
  return status;
}

int addHostRoute(const std::string& route, const std::string& serverIP,
                 const std::string& gateway) {
  return runTool(route, {"-q", "-n", "add", "-inet", serverIP + "/32", gateway});
}

int deleteHostRoute(const std::string& route, const std::string& serverIP,
                    const std::string& gateway) {
  return runTool(route, {"-q", "-n", "delete", "-inet", serverIP + "/32", gateway});
}

int addTunnelRoutes(const std::string& route, const std::string& iface,
                    const TunnelRoutes& routes) {
  int status = 0;
  for (const auto* family : {&routes.ipv4, &routes.ipv6}) {
    for (const IPPrefix& prefix : *family) {
      keepFirstFailure(status, runTool(route, {"-q", "-n", "add", familyOption(prefix),
                                               prefix.text(), "-interface", iface}));
    }
  }
  return status;
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
