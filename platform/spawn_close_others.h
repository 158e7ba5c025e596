#pragma once

#include <spawn.h>

namespace zorvik {

// The one platform difference of spawning: how a child is kept from inheriting
// the helper's descriptors beyond 0, 1 and 2.

/// Extra posix_spawn attribute flags (POSIX_SPAWN_CLOEXEC_DEFAULT on Apple).
short spawnCloseOthersFlags();

/// Adds the file action that closes descriptors from 3 up (closefrom on glibc).
/// Returns 0 or an errno value.
int spawnCloseOthers(posix_spawn_file_actions_t* actions);

}  // namespace zorvik
