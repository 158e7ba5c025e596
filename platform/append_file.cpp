#include "platform/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/fd_io.h"

namespace zorvik {
namespace {

// O_NONBLOCK: a FIFO planted at the path must not hold the opener.
constexpr int kAppendFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr mode_t kCreationMode = 0644;

/// Only a regular file with one name is a log file: not a FIFO or device, and
/// not a hard link that makes root append to a file of someone else's choosing.
UniqueFd checkedLogFile(UniqueFd file) {
  struct stat info {};
  if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
    return {};
  }
  // Writes to it block as writes to any file do; the flag was for the open alone.
  ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
  return file;
}

}  // namespace

UniqueFd openAppendOnly(const std::string& path) {
  // A file removed between the two opens is created again on the next round;
  // a few rounds are enough for anything short of an attack.
  for (int attempt = 0; attempt < 4; ++attempt) {
    // The file is there for every record but the first: one open then.
    UniqueFd existing(openRetryingEINTR(path.c_str(), kAppendFlags, 0));
    if (existing) return checkedLogFile(std::move(existing));
    if (errno != ENOENT) return {};
    // O_EXCL tells us whether this call created the file, so only a new file
    // has its mode set; it also refuses a symlink put at the path meanwhile.
    UniqueFd created(
        openRetryingEINTR(path.c_str(), kAppendFlags | O_CREAT | O_EXCL, kCreationMode));
    if (created) {
      // The umask may have taken bits away from the creation mode.
      ::fchmod(created.get(), kCreationMode);
      return checkedLogFile(std::move(created));
    }
    if (errno != EEXIST) return {};
  }
  return {};
}

}  // namespace zorvik
