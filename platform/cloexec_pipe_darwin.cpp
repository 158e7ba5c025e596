#include <fcntl.h>
#include <unistd.h>

#include "platform/cloexec_pipe.h"

namespace zorvik {

// No pipe2 here. The flag is set right after; children are spawned with
// POSIX_SPAWN_CLOEXEC_DEFAULT, so the short gap cannot leak the ends to them.
std::optional<PipeEnds> makeCloexecPipe() {
  int ends[2];
  if (::pipe(ends) != 0) return std::nullopt;
  PipeEnds pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
  if (::fcntl(pipe.readEnd.get(), F_SETFD, FD_CLOEXEC) != 0 ||
      ::fcntl(pipe.writeEnd.get(), F_SETFD, FD_CLOEXEC) != 0) {
    return std::nullopt;
  }
  return pipe;
}

}  // namespace zorvik
