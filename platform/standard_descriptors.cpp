#include "platform/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include "base/fd_io.h"

namespace zorvik {

bool openStandardDescriptors() {
  // open() takes the lowest free number: it fills the gaps among 0-2 in turn, and the first
  // descriptor above 2 means none is left. Not close-on-exec: children inherit these.
  for (;;) {
    const int fd = openRetryingEINTR("/dev/null", O_RDWR);
    if (fd < 0) return false;
    if (fd > STDERR_FILENO) {
      ::close(fd);
      return true;
    }
  }
}

}  // namespace zorvik
