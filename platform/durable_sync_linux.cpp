#include <unistd.h>

#include "platform/durable_sync.h"

namespace zorvik {

// Here fsync asks the drive to flush its cache too.
bool syncToDisk(int fd) { return ::fsync(fd) == 0; }

}  // namespace zorvik
