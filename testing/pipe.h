#pragma once

#include <stdexcept>

#include "platform/child_process.h"

namespace zorvik::test_support {

/// A close-on-exec pipe; throws when the system refuses one.
inline PipeEnds makePipe() {
  auto ends = makeCloexecPipe();
  if (!ends) throw std::runtime_error("cannot make a pipe");
  return std::move(*ends);
}

}  // namespace zorvik::test_support
