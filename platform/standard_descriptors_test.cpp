#include "platform/standard_descriptors.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace zorvik {
namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_rdev == b.st_rdev;
}

/// In a forked child: 0-2 all on a pipe, then `closed` closed, then openStandardDescriptors.
/// The child's exit code is 0 when each closed one is now /dev/null, open for reading and
/// writing and inherited by children, and each other one is still the pipe; otherwise 10 + the
/// first descriptor that is wrong (20 when the call itself failed).
int exitCodeAfterOpening(const std::vector<int>& closed) {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int ends[2];
    if (::pipe(ends) != 0) ::_exit(30);
    for (int fd = 0; fd <= 2; ++fd) {
      if (::dup2(ends[1], fd) < 0) ::_exit(31);
    }
    // The lowest free number above 2, where a leaked /dev/null would land.
    const int firstFree = ends[0] < ends[1] ? ends[0] : ends[1];
    ::close(ends[0]);
    ::close(ends[1]);
    struct stat pipeInfo {
    }, nullInfo{};
    if (::fstat(2, &pipeInfo) != 0 || ::stat("/dev/null", &nullInfo) != 0) ::_exit(32);
    for (int fd : closed) ::close(fd);

    if (!openStandardDescriptors()) ::_exit(20);

    for (int fd = 0; fd <= 2; ++fd) {
      bool wasClosed = false;
      for (int c : closed) wasClosed = wasClosed || c == fd;
      struct stat info {};
      if (::fstat(fd, &info) != 0) ::_exit(10 + fd);
      if (!sameFile(info, wasClosed ? nullInfo : pipeInfo)) ::_exit(10 + fd);
      if (wasClosed && ((::fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDWR ||
                        (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0)) {
        ::_exit(10 + fd);
      }
    }
    ::_exit(::fcntl(firstFree, F_GETFD) == -1 ? 0 : 13);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(OpenStandardDescriptors, FillsOnlyTheClosedOnesWithDevNull) {
  const std::vector<std::vector<int>> cases = {{0, 1, 2}, {1}, {0, 2}, {}};
  for (const auto& closed : cases) {
    std::string name;
    for (int fd : closed) name += std::to_string(fd) + " ";
    EXPECT_EQ(exitCodeAfterOpening(closed), 0)
        << "closed: { " << name << "} (10 + N: descriptor N wrong afterwards; 13: one left open "
        << "above 2; 20: the call failed)";
  }
}

}  // namespace
}  // namespace zorvik
