#include "platform/spawn_close_others.h"

namespace zorvik {

short spawnCloseOthersFlags() { return 0; }

int spawnCloseOthers(posix_spawn_file_actions_t* actions) {
  return posix_spawn_file_actions_addclosefrom_np(actions, 3);
}

}  // namespace zorvik
