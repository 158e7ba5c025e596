#include <fcntl.h>
#include <unistd.h>

#include "platform/durable_sync.h"

namespace zorvik {

// fsync here only hands the data to the drive, whose cache may still lose it on power loss;
// F_FULLFSYNC has the drive flush it. Some file systems (network, FAT) refuse it: then fsync
// is the best there is.
bool syncToDisk(int fd) { return ::fcntl(fd, F_FULLFSYNC) == 0 || ::fsync(fd) == 0; }

}  // namespace zorvik
