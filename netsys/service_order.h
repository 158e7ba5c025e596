#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorvik {

/// One service of a "-listnetworkserviceorder" listing. Its identity is the text of its
/// "(Hardware Port: PORT, Device: DEVICE)" line inside the parentheses, which a rename of
/// the service keeps; empty when the listing gave none.
struct ListedService {
  std::string name;
  std::string identity;

  bool operator==(const ListedService&) const = default;
};

/// The services of a "-listnetworkserviceorder" listing, disabled ones included: each
/// "(N) NAME" or "(*) NAME" line with the port line right after it, if there is one; any
/// other line is skipped.
std::vector<ListedService> parseServiceOrder(std::string_view listing);

/// Runs `networksetup` -listnetworkserviceorder and parses it; empty when it cannot run.
std::vector<ListedService> listServiceOrder(const std::string& networksetup);

}  // namespace zorvik
