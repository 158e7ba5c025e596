// netlinkHoldsChange over arbitrary datagrams: it reads nothing past the datagram's
// length (AddressSanitizer sees the exact-size copy; the padded copy shows it without).
#include <iterator>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/route_messages.h"

using namespace zorvik;
using zorvik::fuzz::require;

namespace {

bool verdict(const unsigned char* datagram, std::size_t length) {
  LinkStates links(7, nullptr);
  return netlinkHoldsChange(datagram, length, links);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::vector<unsigned char> exact(data, data + size);
  const bool judged = verdict(exact.data(), exact.size());
  // Whatever follows the datagram in memory (here a link coming up) cannot change it.
  const unsigned char linkUp[] = {0x20, 0, 0, 0, 0x10, 0, 0, 0, 0,    0,    0, 0, 0, 0, 0, 0,
                                  0,    0, 1, 0, 3,    0, 0, 0, 0x43, 0x10, 1, 0, 0, 0, 0, 0};
  // It goes where a message after the last would start.
  std::vector<unsigned char> padded = exact;
  padded.resize((size + 3) & ~std::size_t{3}, 0);
  padded.insert(padded.end(), std::begin(linkUp), std::end(linkUp));
  require(verdict(padded.data(), size) == judged, "bytes past the datagram changed its verdict");
  return 0;
}
