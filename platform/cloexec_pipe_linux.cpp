#include <fcntl.h>
#include <unistd.h>

#include "platform/cloexec_pipe.h"

namespace zorvik {

std::optional<PipeEnds> makeCloexecPipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  return PipeEnds{UniqueFd(ends[0]), UniqueFd(ends[1])};
}

}  // namespace zorvik
