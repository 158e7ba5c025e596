#pragma once

#include <optional>

#include "base/unique_fd.h"

namespace zorvik {

/// Both ends of a pipe, each close-on-exec.
struct PipeEnds {
  UniqueFd readEnd;
  UniqueFd writeEnd;
};

/// Makes a pipe whose ends are close-on-exec; nothing when the system refuses.
std::optional<PipeEnds> makeCloexecPipe();

}  // namespace zorvik
