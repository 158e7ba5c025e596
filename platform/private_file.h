#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace zorvik {

/// Creates what is missing of `directory` (parents too), each with exactly `mode` whatever
/// the umask; what is there is left as it is. Throws std::system_error that names the path.
void makeDirectories(const std::string& directory, mode_t mode);

/// Creates `directory` with mode 0755 when it is missing (parents too) and
/// checks that it is a real directory (not a symlink) owned by this user and
/// writable by nobody else. Throws std::system_error that names the path.
void ensurePrivateDirectory(const std::string& directory);

/// Replaces `path` with `contents` so that a crash at any instant leaves either
/// the old file or the new one: a fresh temporary file beside it (O_NOFOLLOW,
/// O_EXCL, mode `mode`), write, flush to the disk, rename over `path`, flush the directory.
/// Throws std::system_error that names the failing step and path.
void replaceFileAtomically(const std::string& path, std::string_view contents, mode_t mode);

/// What readPrivateFile found.
struct PrivateFileRead {
  enum Outcome { absent, refused, read } outcome = absent;
  std::string contents;  ///< the file's bytes when `read`
  std::string problem;   ///< why, when `refused`
};

/// Reads `path` without following a symlink at it, and only when it is a
/// regular file with one link, owned by this user and writable by nobody else; anything else
/// is `refused` with the reason. At most `maxBytes` are accepted.
PrivateFileRead readPrivateFile(const std::string& path, std::size_t maxBytes);

/// Removes the temporary files that replaceFileAtomically leaves beside
/// `path` when the process dies between creating one and renaming it. Only for
/// a moment when no other process writes `path`. Returns how many went.
std::size_t removeTemporariesBeside(const std::string& path);

/// True when `directory` is a real directory (not a symlink) owned by this user
/// and writable by nobody else.
bool isPrivateDirectory(const std::string& directory);

/// Removes `path` itself (a symlink is removed, never followed). True when it
/// is not there afterwards, also when it never was.
bool removeFileIfPresent(const std::string& path);

}  // namespace zorvik
