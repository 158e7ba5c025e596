// pfRouteHoldsChange over arbitrary datagrams: it reads nothing past the datagram's
// length, a refused request or another version is never a change, and an interface
// message that finds the interface as before is not reported twice.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/route_messages.h"

using namespace zorvik;
using zorvik::fuzz::require;

namespace {

// A system whose interfaces are a pure function of their index.
std::optional<LinkStates::Link> lookup(unsigned index) {
  if (index % 5 == 0) return std::nullopt;
  const char* names[] = {"bridge", "en", "awdl", "utun", "llw"};
  return LinkStates::Link{names[index % 5] + std::to_string(index), (index & 1) != 0};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::vector<unsigned char> exact(data, data + size);
  LinkStates links(12, lookup);
  const bool judged = pfRouteHoldsChange(exact.data(), exact.size(), links);

  std::vector<unsigned char> padded = exact;
  padded.resize(size + 256, 0);
  LinkStates fresh(12, lookup);
  require(pfRouteHoldsChange(padded.data(), size, fresh) == judged,
          "bytes past the datagram changed its verdict");

  if (judged && size > pf_route::kTypeOffset) {
    require(data[pf_route::kVersionOffset] == pf_route::kVersion, "another version reported");
    if (data[pf_route::kTypeOffset] == pf_route::kIfInfo) {
      require(!pfRouteHoldsChange(exact.data(), exact.size(), links),
              "an unchanged interface reported twice");
    } else {
      std::int32_t error = 0;
      std::memcpy(&error, data + pf_route::kRouteErrnoOffset, sizeof error);
      require(error == 0, "a refused request reported");
    }
  }
  return 0;
}
