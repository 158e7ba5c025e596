#include "platform/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "base/fd_io.h"
#include "base/unique_fd.h"
#include "platform/durable_sync.h"

namespace zorvik {
namespace {

constexpr mode_t kDirectoryMode = 0755;

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
  throw std::system_error(error, std::generic_category(), what + " " + path);
}

// Only this user may have put the thing there or be able to change it.
std::string ownershipProblem(const struct stat& info) {
  if (info.st_uid != ::geteuid()) return "owned by uid " + std::to_string(info.st_uid);
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "writable by group or others";
  return {};
}

std::string directoryOf(const std::string& path) {
  std::string parent = std::filesystem::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}

void fsyncDirectory(const std::string& directory) {
  UniqueFd fd(openRetryingEINTR(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) fail("cannot open directory", directory, errno);
  if (!syncToDisk(fd.get())) fail("cannot fsync directory", directory, errno);
}

// Temporary files beside `path` are named ".<name>.<pid>.<attempt>".
std::string temporaryPrefix(const std::string& path) {
  // Appended piece by piece: GCC 12 at -O2 warns (wrongly) about "." + a temporary.
  std::string prefix = ".";
  prefix += std::filesystem::path(path).filename().string();
  prefix += '.';
  return prefix;
}

bool isTemporaryName(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return false;
  name.remove_prefix(prefix.size());
  const auto dot = name.find('.');
  const auto allDigits = [](std::string_view part) {
    return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return dot != std::string_view::npos && allDigits(name.substr(0, dot)) &&
         allDigits(name.substr(dot + 1));
}

// A fresh temporary file beside `path`; never one that was there already.
std::pair<UniqueFd, std::string> createTemporaryBeside(const std::string& path, mode_t mode) {
  const std::filesystem::path target(path);
  const std::string stem =
      (target.parent_path() / temporaryPrefix(path)).string() + std::to_string(::getpid()) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = stem + std::to_string(attempt);
    UniqueFd fd(openRetryingEINTR(name.c_str(),
                                  O_WRONLY | O_NOFOLLOW | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd) return {std::move(fd), name};
    if (errno != EEXIST) fail("cannot create", name, errno);
  }
  fail("no free temporary name beside", path, EEXIST);
}

}  // namespace

void makeDirectories(const std::string& directory, mode_t mode) {
  std::filesystem::path partial;
  for (const auto& component : std::filesystem::path(directory)) {
    partial /= component;
    if (component == "/" || component.empty()) continue;
    if (::mkdir(partial.c_str(), mode) == 0) {
      // The umask may have taken bits away.
      if (::chmod(partial.c_str(), mode) != 0)
        fail("cannot set the mode of", partial.string(), errno);
    } else if (errno != EEXIST) {
      fail("cannot create directory", partial.string(), errno);
    }
  }
}

void ensurePrivateDirectory(const std::string& directory) {
  makeDirectories(directory, kDirectoryMode);
  struct stat info {};
  if (::lstat(directory.c_str(), &info) != 0) fail("cannot inspect", directory, errno);
  if (!S_ISDIR(info.st_mode)) fail("not a directory:", directory, ENOTDIR);
  if (std::string problem = ownershipProblem(info); !problem.empty())
    fail("refusing directory " + problem + ":", directory, EPERM);
}

void replaceFileAtomically(const std::string& path, std::string_view contents, mode_t mode) {
  auto [file, temporary] = createTemporaryBeside(path, mode);
  try {
    // The creation mode has passed through the umask; the file must end up exactly `mode`.
    if (::fchmod(file.get(), mode) != 0) fail("cannot set the mode of", temporary, errno);
    if (!writeAll(file.get(), contents)) fail("cannot write", temporary, errno);
    if (!syncToDisk(file.get())) fail("cannot fsync", temporary, errno);
    file.reset();
    if (::rename(temporary.c_str(), path.c_str()) != 0) fail("cannot rename over", path, errno);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  // The rename itself reaches the disk only with its directory.
  fsyncDirectory(directoryOf(path));
}

PrivateFileRead readPrivateFile(const std::string& path, std::size_t maxBytes) {
  PrivateFileRead result;
  UniqueFd fd(openRetryingEINTR(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT) return result;
    result.outcome = PrivateFileRead::refused;
    result.problem = errno == ELOOP ? "a symlink" : std::generic_category().message(errno);
    return result;
  }
  result.outcome = PrivateFileRead::refused;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) {
    result.problem = std::generic_category().message(errno);
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.problem = "not a regular file";
    return result;
  }
  // Another name of the file would let whoever made it choose what root reads, as with a log file.
  if (info.st_nlink != 1) {
    result.problem = "has " + std::to_string(info.st_nlink) + " links";
    return result;
  }
  if (result.problem = ownershipProblem(info); !result.problem.empty()) return result;
  if (static_cast<std::size_t>(info.st_size) > maxBytes) {
    result.problem = "larger than " + std::to_string(maxBytes) + " bytes";
    return result;
  }
  ReadToEndResult read = readToEnd(fd.get(), maxBytes);
  if (read.error != 0) {
    result.problem = std::generic_category().message(read.error);
    return result;
  }
  if (read.overLimit) {
    result.problem = "larger than " + std::to_string(maxBytes) + " bytes";
    return result;
  }
  result.contents = std::move(read.bytes);
  result.outcome = PrivateFileRead::read;
  return result;
}

std::size_t removeTemporariesBeside(const std::string& path) {
  const std::string prefix = temporaryPrefix(path);
  std::size_t removed = 0;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directoryOf(path), error), end; !error && it != end;
       it.increment(error)) {
    // unlink removes a symlink itself and never what it points at.
    if (!isTemporaryName(it->path().filename().string(), prefix)) continue;
    if (::unlink(it->path().c_str()) == 0) ++removed;
  }
  return removed;
}

bool isPrivateDirectory(const std::string& directory) {
  struct stat info {};
  return ::lstat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         ownershipProblem(info).empty();
}

bool removeFileIfPresent(const std::string& path) {
  // ENOTDIR: something on the way is not a directory, so the file cannot be there either.
  return ::unlink(path.c_str()) == 0 || errno == ENOENT || errno == ENOTDIR;
}

}  // namespace zorvik
