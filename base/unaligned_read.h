#pragma once

#include <cstring>

namespace zorvik {

/// The `Value` whose bytes start at `at`, wherever it is aligned: kernel messages pack their
/// headers and attributes at offsets no cast may assume.
template <class Value>
Value readAt(const unsigned char* at) {
  Value value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

}  // namespace zorvik
