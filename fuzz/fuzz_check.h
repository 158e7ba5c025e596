#pragma once
// What a fuzz target uses to state a property of the code it drives.

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace zorvik::fuzz {

/// Aborts, which libFuzzer reports as a finding, when `holds` is false.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

/// The fuzzer's bytes as text.
inline std::string_view asText(const unsigned char* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace zorvik::fuzz
