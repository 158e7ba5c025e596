#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zorvik {

/// Turns IPv6 off on each enabled service whose IPv6 is automatic and records
/// it in `ipv6Disabled`; a service that `ipv6Disabled` already holds is left alone. `recorded` runs
/// after each name is recorded and before the service is changed.
void disableIPv6(const std::string& networksetup, std::vector<std::string>& ipv6Disabled,
                 const std::function<void()>& recorded = {});

/// Sets every recorded service back to automatic, in order, then empties the list.
void restoreIPv6(const std::string& networksetup, std::vector<std::string>& ipv6Disabled);

}  // namespace zorvik
