#include "service/tunnel_journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "platform/private_file.h"
#include "testing/scoped_umask.h"
#include "testing/temp_dir.h"

namespace zorvik {
namespace {

using nlohmann::json;
using test_support::TempDir;

TunnelRecord fullJournal() {
  TunnelRecord journal;
  journal.endpointIP = "203.0.113.5";
  journal.savedGateway = "192.168.1.1";
  journal.dnsBackup = {{"Wi-Fi", "empty"}, {"USB 10/100 LAN", "10.0.0.53\n10.0.0.54"}};
  journal.searchDomainsBackup = {{"Wi-Fi", "corp.example\nlan"}, {"USB 10/100 LAN", "empty"}};
  journal.ipv6Disabled = {"Wi-Fi", "Thunderbolt Bridge"};
  journal.serviceIdentities = {{"Wi-Fi", "Hardware Port: Wi-Fi, Device: en0"}};
  journal.daemonPath = "/Library/PrivilegedHelperTools/amneziawg-go";
  journal.daemonPid = 4242;
  journal.iface = "utun4";
  return journal;
}

std::string writeText(const TempDir& dir, const std::string& text) {
  std::string path = dir.file("tunnel-journal.json");
  std::ofstream(path, std::ios::binary) << text;
  ::chmod(path.c_str(), 0600);
  return path;
}

TEST(TunnelJournalFormat, RoundTripsEveryRecordAndTheEmptyJournal) {
  for (const TunnelRecord& journal : {fullJournal(), TunnelRecord{}}) {
    EXPECT_EQ(decodeTunnelJournal(encodeTunnelJournal(journal)), journal);
  }
  TunnelRecord launching;
  launching.daemonPath = "/opt/amneziawg-go";  // recorded, spawn not yet done
  EXPECT_EQ(decodeTunnelJournal(encodeTunnelJournal(launching)), launching);
}

TEST(TunnelJournalFormat, AJournalOfAHelperBeforeSearchDomainsStillDecodes) {
  json old = json::parse(encodeTunnelJournal(fullJournal()));
  ASSERT_EQ(old.erase("searchDomainsBackup"), 1u);
  ASSERT_EQ(old.erase("serviceIdentities"), 1u);
  TunnelRecord expected = fullJournal();
  expected.searchDomainsBackup.clear();
  expected.serviceIdentities.clear();
  EXPECT_EQ(decodeTunnelJournal(old.dump()), expected);
}

TEST(TunnelJournalFormat, RejectsAnythingButACompleteJournalOfTheRightTypes) {
  const json good = json::parse(encodeTunnelJournal(fullJournal()));
  struct Case {
    const char* name;
    std::string text;
  };
  auto with = [&](const json::json_pointer& where, json value) {
    json changed = good;
    changed[where] = std::move(value);
    return changed.dump();
  };
  auto without = [&](const char* key) {
    json changed = good;
    changed.erase(key);
    return changed.dump();
  };
  const std::string text = good.dump();
  std::string badUTF8 = text;
  badUTF8.replace(badUTF8.find("utun4"), 5, "ut\xff\xfe");
  const Case cases[] = {
      {"empty", ""},
      {"truncated", text.substr(0, text.size() / 2)},
      {"not an object", "[1,2]"},
      {"not JSON", "endpointIP=1.2.3.4"},
      {"invalid UTF-8", badUTF8},
      {"no version", without("version")},
      {"other version", with(json::json_pointer("/version"), 2)},
      {"no dnsBackup", without("dnsBackup")},
      {"no daemon", without("daemon")},
      {"endpoint a number", with(json::json_pointer("/endpointIP"), 5)},
      {"dnsBackup a list", with(json::json_pointer("/dnsBackup"), json::array({"Wi-Fi"}))},
      {"dnsBackup value a number", with(json::json_pointer("/dnsBackup/Wi-Fi"), 1)},
      {"searchDomainsBackup null", with(json::json_pointer("/searchDomainsBackup"), nullptr)},
      {"searchDomainsBackup value a list",
       with(json::json_pointer("/searchDomainsBackup/Wi-Fi"), json::array({"lan"}))},
      {"serviceIdentities value null",
       with(json::json_pointer("/serviceIdentities/Wi-Fi"), nullptr)},
      {"ipv6Disabled text", with(json::json_pointer("/ipv6Disabled"), "Wi-Fi")},
      {"ipv6Disabled entry null", with(json::json_pointer("/ipv6Disabled/0"), nullptr)},
      {"daemon text", with(json::json_pointer("/daemon"), "amneziawg-go")},
      {"daemon without path", with(json::json_pointer("/daemon/path"), nullptr)},
      {"pid text", with(json::json_pointer("/daemon/pid"), "4242")},
      {"pid fraction", with(json::json_pointer("/daemon/pid"), 42.5)},
      {"pid zero", with(json::json_pointer("/daemon/pid"), 0)},
      {"pid of init", with(json::json_pointer("/daemon/pid"), 1)},
      {"pid negative", with(json::json_pointer("/daemon/pid"), -1)},
      {"pid too big", with(json::json_pointer("/daemon/pid"), 1LL << 40)},
  };
  EXPECT_NO_THROW(decodeTunnelJournal(text));
  for (const Case& c : cases) {
    EXPECT_THROW(decodeTunnelJournal(c.text), std::runtime_error) << c.name << ": " << c.text;
  }
}

TEST(TunnelJournalFile, IsWrittenMode0600InADirectoryCreated0755) {
  TempDir dir;
  const std::string path = dir.file("Application Support/ZorvikVPN/tunnel-journal.json");
  {
    test_support::ScopedUmask mask(077);
    writeTunnelJournal(path, fullJournal());
  }

  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  ASSERT_EQ(::stat(dir.file("Application Support/ZorvikVPN").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0755u);

  TunnelJournalRead read = readTunnelJournal(path);
  ASSERT_EQ(read.outcome, TunnelJournalRead::found) << read.problem;
  EXPECT_EQ(read.journal, fullJournal());
}

TEST(TunnelJournalFile, ARewriteReplacesTheWholeFileAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.file("tunnel-journal.json");
  writeTunnelJournal(path, fullJournal());
  TunnelRecord smaller;
  smaller.savedGateway = "10.0.0.1";
  writeTunnelJournal(path, smaller);

  EXPECT_EQ(readTunnelJournal(path).journal, smaller);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"tunnel-journal.json"});
}

TEST(TunnelJournalFile, TemporariesOfADeadWriterAreRemovedAndNothingElse) {
  TempDir dir;
  const std::string path = dir.file("tunnel-journal.json");
  writeTunnelJournal(path, fullJournal());
  const std::string victim = dir.file("victim");
  std::ofstream(victim) << "keep";
  const std::vector<std::string> leftovers = {".tunnel-journal.json.4242.0",
                                              ".tunnel-journal.json.1.99"};
  const std::vector<std::string> strangers = {
      ".tunnel-journal.json.4242",  ".tunnel-journal.json.4242.",
      ".tunnel-journal.json..0",    ".tunnel-journal.json.42x.0",
      ".other.json.4242.0",         "tunnel-journal.json.4242.0",
      ".tunnel-journal.json.1.2.3", "victim"};
  for (const auto& name : leftovers) std::ofstream(dir.file(name)) << "{";
  for (const auto& name : strangers)
    if (name != "victim") std::ofstream(dir.file(name)) << "x";
  // A symlink with a temporary's name goes itself; its target stays.
  ASSERT_EQ(::symlink(victim.c_str(), dir.file(".tunnel-journal.json.7.0").c_str()), 0);

  EXPECT_EQ(removeTemporariesBeside(path), leftovers.size() + 1);

  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.insert(entry.path().filename().string());
  std::set<std::string> expected(strangers.begin(), strangers.end());
  expected.insert("tunnel-journal.json");
  EXPECT_EQ(names, expected);
  EXPECT_EQ(readTunnelJournal(path).journal, fullJournal());
  std::ifstream kept(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
  EXPECT_EQ(removeTemporariesBeside(dir.file("missing/tunnel-journal.json")), 0u);
}

TEST(TunnelJournalFile, ASymlinkAtThePathIsReplacedNeverWrittenThrough) {
  TempDir dir;
  const std::string victim = dir.file("victim");
  std::ofstream(victim) << "keep";
  const std::string path = dir.file("tunnel-journal.json");
  std::filesystem::create_symlink(victim, path);

  writeTunnelJournal(path, fullJournal());
  EXPECT_FALSE(std::filesystem::is_symlink(path));
  std::ifstream in(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
}

TEST(TunnelJournalFile, ASymlinkedDirectoryIsRefused) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("real"));
  std::filesystem::create_directory_symlink(dir.file("real"), dir.file("link"));
  EXPECT_THROW(writeTunnelJournal(dir.file("link/tunnel-journal.json"), fullJournal()),
               std::system_error);
  EXPECT_FALSE(std::filesystem::exists(dir.file("real/tunnel-journal.json")));
}

TEST(TunnelJournalFile, ReadsAbsentFoundOrBadWithTheReason) {
  TempDir dir;
  EXPECT_EQ(readTunnelJournal(dir.file("none.json")).outcome, TunnelJournalRead::absent);

  const std::string path = writeText(dir, "{\"version\":1,");
  TunnelJournalRead truncated = readTunnelJournal(path);
  EXPECT_EQ(truncated.outcome, TunnelJournalRead::bad);
  EXPECT_NE(truncated.problem.find("not JSON"), std::string::npos) << truncated.problem;

  writeText(dir, encodeTunnelJournal(fullJournal()));
  ::chmod(path.c_str(), 0666);
  TunnelJournalRead writable = readTunnelJournal(path);
  EXPECT_EQ(writable.outcome, TunnelJournalRead::bad);
  EXPECT_EQ(writable.problem, "writable by group or others");

  const std::string link = dir.file("link.json");
  ::chmod(path.c_str(), 0600);
  std::filesystem::create_symlink(path, link);
  TunnelJournalRead symlinked = readTunnelJournal(link);
  EXPECT_EQ(symlinked.outcome, TunnelJournalRead::bad);
  EXPECT_EQ(symlinked.problem, "a symlink");

  const std::string second = dir.file("second-name.json");
  std::filesystem::create_hard_link(path, second);
  TunnelJournalRead linked = readTunnelJournal(path);
  EXPECT_EQ(linked.outcome, TunnelJournalRead::bad);
  EXPECT_EQ(linked.problem, "has 2 links");
  std::filesystem::remove(second);
  EXPECT_EQ(readTunnelJournal(path).outcome, TunnelJournalRead::found);

  std::filesystem::create_directory(dir.file("dir.json"));
  EXPECT_EQ(readTunnelJournal(dir.file("dir.json")).outcome, TunnelJournalRead::bad);
}

}  // namespace
}  // namespace zorvik
