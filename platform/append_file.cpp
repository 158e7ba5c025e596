#include "platform/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/fd_io.h"

namespace zorvik {
namespace {

constexpr int kAppendFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC;
constexpr mode_t kCreationMode = 0644;

}  // namespace

UniqueFd openAppendOnly(const std::string& path) {
  // A file removed between the two opens is created again on the next round;
  // a few rounds are enough for anything short of an attack.
  for (int attempt = 0; attempt < 4; ++attempt) {
    // O_EXCL tells us whether this call created the file, so only a new file
    // has its mode set; it also refuses a symlink at the path.
    UniqueFd created(
        openRetryingEINTR(path.c_str(), kAppendFlags | O_CREAT | O_EXCL, kCreationMode));
    if (created) {
      // The umask may have taken bits away from the creation mode.
      ::fchmod(created.get(), kCreationMode);
      return created;
    }
    if (errno != EEXIST) return {};
    UniqueFd existing(openRetryingEINTR(path.c_str(), kAppendFlags, 0));
    if (existing) return existing;
    if (errno != ENOENT) return {};
  }
  return {};
}

}  // namespace zorvik
