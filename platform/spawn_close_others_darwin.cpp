#include "platform/spawn_close_others.h"

namespace zorvik {

// With this flag every descriptor that no file action names is closed in the child.
short spawnCloseOthersFlags() { return POSIX_SPAWN_CLOEXEC_DEFAULT; }

// So 0, 1 and 2 are named explicitly, whether redirected or inherited.
int spawnCloseOthers(posix_spawn_file_actions_t* actions) {
  for (int fd = 0; fd <= 2; ++fd) {
    if (int rc = posix_spawn_file_actions_addinherit_np(actions, fd); rc != 0) return rc;
  }
  return 0;
}

}  // namespace zorvik
