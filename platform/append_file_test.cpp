#include "platform/append_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/fd_io.h"
#include "testing/scoped_umask.h"
#include "testing/temp_dir.h"

namespace zorvik {
namespace {

using test_support::ScopedUmask;
using test_support::TempDir;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream out;
  out << in.rdbuf();
  return out.str();
}

mode_t modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(OpenAppendOnly, CreatesFileWithMode0644UnderRestrictiveUmask) {
  TempDir dir;
  ScopedUmask mask(077);
  auto path = dir.file("log");
  UniqueFd fd = openAppendOnly(path);
  ASSERT_TRUE(fd.valid());
  EXPECT_EQ(modeOf(path), 0644u);
  EXPECT_NE(::fcntl(fd.get(), F_GETFD) & FD_CLOEXEC, 0) << "descriptor must be close-on-exec";
}

TEST(OpenAppendOnly, ExistingFileKeepsModeAndContents) {
  TempDir dir;
  auto path = dir.file("log");
  std::ofstream(path) << "old\n";
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);

  UniqueFd fd = openAppendOnly(path);
  ASSERT_TRUE(fd.valid());
  ASSERT_TRUE(writeAll(fd.get(), "new\n"));
  fd.reset();

  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_EQ(readFile(path), "old\nnew\n");
}

TEST(OpenAppendOnly, WritesGoToTheEndEvenAfterOthersAppended) {
  TempDir dir;
  auto path = dir.file("log");
  UniqueFd first = openAppendOnly(path);
  UniqueFd second = openAppendOnly(path);
  ASSERT_TRUE(first && second);
  ASSERT_TRUE(writeAll(first.get(), "one\n"));
  ASSERT_TRUE(writeAll(second.get(), "two\n"));
  ASSERT_TRUE(writeAll(first.get(), "three\n"));
  EXPECT_EQ(readFile(path), "one\ntwo\nthree\n");
}

TEST(OpenAppendOnly, DoesNotFollowSymlinks) {
  TempDir dir;
  auto target = dir.file("target");
  std::ofstream(target) << "precious\n";
  for (const char* link : {"link-to-file", "dangling-link"}) {
    SCOPED_TRACE(link);
    auto linkPath = dir.file(link);
    std::filesystem::create_symlink(
        std::string(link) == "dangling-link" ? dir.file("absent") : target, linkPath);
    EXPECT_FALSE(openAppendOnly(linkPath).valid());
  }
  EXPECT_EQ(readFile(target), "precious\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("absent")));
}

TEST(OpenAppendOnly, RefusesAnythingButARegularFileWithOneLink) {
  TempDir dir;
  const auto fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  // Without a reader, a blocking open would wait here for good.
  EXPECT_FALSE(openAppendOnly(fifo).valid());

  const auto target = dir.file("target");
  std::ofstream(target) << "precious\n";
  const auto hardLink = dir.file("hard-link");
  std::filesystem::create_hard_link(target, hardLink);
  EXPECT_FALSE(openAppendOnly(hardLink).valid());
  EXPECT_EQ(readFile(target), "precious\n");

  EXPECT_FALSE(openAppendOnly(dir.path().string()).valid()) << "a directory";
}

TEST(OpenAppendOnly, MissingDirectoryGivesInvalidDescriptor) {
  TempDir dir;
  EXPECT_FALSE(openAppendOnly(dir.file("no-such-dir/log")).valid());
}

}  // namespace
}  // namespace zorvik
