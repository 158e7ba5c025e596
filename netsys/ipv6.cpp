#include "netsys/ipv6.h"

#include <algorithm>

#include "netsys/command_runner.h"
#include "netsys/dns.h"

namespace zorvik {

void disableIPv6(const std::string& networksetup, std::vector<std::string>& ipv6Disabled,
                 const std::function<void()>& recorded) {
  // Turned off by an earlier call of this tunnel: left alone, so the record stays
  // one per name and their settings are not read again.
  const std::vector<std::string> alreadyOff = ipv6Disabled;
  for (const std::string& service : listNetworkServices(networksetup)) {
    if (std::find(alreadyOff.begin(), alreadyOff.end(), service) != alreadyOff.end()) continue;
    std::string info = runToolCapturingOutput(networksetup, {"-getinfo", service}).value_or("");
    if (info.find("IPv6: Automatic") == std::string::npos) continue;
    // Recorded before the change, so a record exists for every change made;
    // a failed -setv6off is still set back to automatic at teardown.
    ipv6Disabled.push_back(service);
    if (recorded) recorded();
    runTool(networksetup, {"-setv6off", service});
  }
}

void restoreIPv6(const std::string& networksetup, std::vector<std::string>& ipv6Disabled) {
  for (const std::string& service : ipv6Disabled)
    runTool(networksetup, {"-setv6automatic", service});
  ipv6Disabled.clear();
}

}  // namespace zorvik
