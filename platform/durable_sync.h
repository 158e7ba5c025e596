#pragma once

namespace zorvik {

/// Flushes what was written to `fd` through to the storage itself, so that it survives a power
/// loss, not only a crash. False with errno set when it failed.
bool syncToDisk(int fd);

}  // namespace zorvik
