// parseTransferTotals over arbitrary answers. Lines count one by one, so the
// totals of two answers joined at a line feed are the sums of their totals.
#include <limits>
#include <string>

#include "config/uapi_client.h"
#include "fuzz/fuzz_check.h"

using namespace zorvik;
using zorvik::fuzz::require;

namespace {

std::uint64_t saturatingSum(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view answer = fuzz::asText(data, size);
  const auto whole = parseTransferTotals(answer);

  const std::string_view first = answer.substr(0, size / 2);
  const std::string_view second = answer.substr(size / 2);
  const auto a = parseTransferTotals(first);
  const auto b = parseTransferTotals(second);
  const auto joined = parseTransferTotals(std::string(first) + "\n" + std::string(second));
  require(joined.first == saturatingSum(a.first, b.first), "received total is not additive");
  require(joined.second == saturatingSum(a.second, b.second), "sent total is not additive");

  // One more counted line adds its number, or saturates.
  const auto more = parseTransferTotals(std::string(answer) + "\nrx_bytes=7\ntx_bytes=+0");
  require(more.first == saturatingSum(whole.first, 7), "an added rx line is not counted");
  require(more.second == whole.second, "an added zero tx line changed the total");
  return 0;
}
