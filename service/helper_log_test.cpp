#include "service/helper_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "base/names.h"
#include "service/helper_service.h"
#include "testing/helper_service_access.h"
#include "testing/memory_log_sink.h"
#include "testing/scoped_umask.h"
#include "testing/temp_dir.h"

namespace zorvik {
namespace {

using namespace std::chrono;
using test_support::HelperServiceAccess;
using test_support::MemoryLogSink;
using test_support::ScopedUmask;
using test_support::TempDir;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// The message of a record line "[YYYY-MM-DD hh:mm:ss +0000] message", or
/// nothing when the line is not one.
std::optional<std::string> messageOf(const std::string& line) {
  const std::string_view shape = "[dddd-dd-dd dd:dd:dd +0000] ";
  if (line.size() < shape.size()) return std::nullopt;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    bool ok = shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                              : line[i] == shape[i];
    if (!ok) return std::nullopt;
  }
  return line.substr(shape.size());
}

TEST(FormatLogTimestamp, IsUTCWithZeroPaddedFields) {
  struct Case {
    system_clock::time_point time;
    const char* expected;
  };
  const Case cases[] = {
      {system_clock::time_point{}, "1970-01-01 00:00:00 +0000"},
      {sys_days{year{2000} / February / 29} + hours{7} + minutes{5} + seconds{9},
       "2000-02-29 07:05:09 +0000"},
      {sys_days{year{2026} / December / 31} + hours{23} + minutes{59} + seconds{59} +
           milliseconds{999},
       "2026-12-31 23:59:59 +0000"},
  };
  for (const auto& c : cases) EXPECT_EQ(formatLogTimestamp(c.time), c.expected);
}

TEST(FormatLogRecord, WrapsTheMessageUnchanged) {
  const system_clock::time_point t{};
  EXPECT_EQ(formatLogRecord(t, ""), "[1970-01-01 00:00:00 +0000] \n");
  EXPECT_EQ(formatLogRecord(t, "туннель поднят на utun4 → 1.2.3.4"),
            "[1970-01-01 00:00:00 +0000] туннель поднят на utun4 → 1.2.3.4\n");
  EXPECT_EQ(formatLogRecord(t, "two\nlines %s %d"),
            "[1970-01-01 00:00:00 +0000] two\nlines %s %d\n");
}

class LogLineTest : public ::testing::Test {
 protected:
  std::shared_ptr<HelperService> serviceLoggingTo(const std::string& path) {
    HelperSettings settings;
    settings.logPath = path;
    settings.logSink = sink;
    return std::make_shared<HelperService>(std::move(settings));
  }

  TempDir dir;
  std::shared_ptr<MemoryLogSink> sink = std::make_shared<MemoryLogSink>();
};

TEST_F(LogLineTest, FirstCallCreatesFile0644WithOneRecordAndLogsToTheSystemLog) {
  ScopedUmask mask(077);
  const auto path = dir.file("helper.log");
  HelperServiceAccess(*serviceLoggingTo(path)).logLine("запуск amneziawg-go");

  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  auto lines = linesOf(readFile(path));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(messageOf(lines[0]), "запуск amneziawg-go") << lines[0];
  EXPECT_EQ(sink->records(),
            (std::vector<MemoryLogSink::Record>{
                {kHelperMachServiceName, "tunnel", LogLevel::info, "запуск amneziawg-go"}}));
}

TEST_F(LogLineTest, AppendsToAnExistingFileAndKeepsItsMode) {
  const auto path = dir.file("helper.log");
  std::ofstream(path) << "earlier\n";
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  auto service = serviceLoggingTo(path);
  HelperServiceAccess(*service).logLine("");
  HelperServiceAccess(*service).logLine("line one\nline two");

  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  auto lines = linesOf(readFile(path));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "earlier");
  EXPECT_EQ(messageOf(lines[1]), "") << lines[1];
  EXPECT_EQ(messageOf(lines[2]), "line one") << lines[2];
  EXPECT_EQ(lines[3], "line two");
}

TEST_F(LogLineTest, SymlinkAtTheLogPathIsNotFollowed) {
  const auto target = dir.file("target");
  std::ofstream(target) << "root-owned secret\n";
  const auto path = dir.file("helper.log");
  std::filesystem::create_symlink(target, path);

  HelperServiceAccess(*serviceLoggingTo(path)).logLine("hello");

  EXPECT_EQ(readFile(target), "root-owned secret\n");
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(sink->messages(), std::vector<std::string>{"hello"}) << "system log must still get it";
}

TEST_F(LogLineTest, UnopenableFileLosesOnlyTheFileRecord) {
  const auto path = dir.file("missing-dir/helper.log");
  auto service = serviceLoggingTo(path);
  EXPECT_NO_THROW(HelperServiceAccess(*service).logLine("still logged"));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(sink->messages(), std::vector<std::string>{"still logged"});
}

TEST_F(LogLineTest, ConcurrentWritersLeaveWholeRecords) {
  const auto path = dir.file("helper.log");
  auto service = serviceLoggingTo(path);
  constexpr int kPerThread = 1000;
  auto writer = [&](const std::string& name) {
    for (int i = 0; i < kPerThread; ++i) {
      HelperServiceAccess(*service).logLine(name + " record " + std::to_string(i) + " " +
                                            std::string(200, 'x'));
    }
  };
  std::thread a(writer, "A");
  std::thread b(writer, "B");
  a.join();
  b.join();

  auto lines = linesOf(readFile(path));
  ASSERT_EQ(lines.size(), 2u * kPerThread);
  std::map<std::string, int> next = {{"A", 0}, {"B", 0}};
  for (const auto& line : lines) {
    std::optional<std::string> message = messageOf(line);
    ASSERT_TRUE(message.has_value()) << "torn record: " << line;
    const std::string writer = message->substr(0, 1);
    ASSERT_TRUE(next.count(writer)) << "torn record: " << line;
    const std::string expected =
        writer + " record " + std::to_string(next[writer]++) + " " + std::string(200, 'x');
    ASSERT_EQ(*message, expected) << "torn or out-of-order record";
  }
  EXPECT_EQ(next["A"], kPerThread);
  EXPECT_EQ(next["B"], kPerThread);
}

}  // namespace
}  // namespace zorvik
