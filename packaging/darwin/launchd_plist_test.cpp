// The launchd job must agree with the constants the helper and its client are built with:
// a mismatch shows up on a Mac only as a client that can never connect.

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <variant>

#include "base/names.h"
#include "service/helper_settings.h"

namespace zorvik {
namespace {

// Just enough of the XML property list format for a launchd job: dict, key, string, true, false.
struct PlistValue;
using PlistDict = std::map<std::string, PlistValue>;
struct PlistValue {
  std::variant<std::string, bool, std::shared_ptr<PlistDict>> value;
};

class PlistReader {
 public:
  explicit PlistReader(std::string text) : text_(std::move(text)) {}

  PlistDict readDocument() {
    skipPrologue();
    expectTag("plist version=\"1.0\"");
    PlistValue root = readValue();
    expectTag("/plist");
    skipSpace();
    if (pos_ != text_.size()) fail("text after </plist>");
    if (!std::holds_alternative<std::shared_ptr<PlistDict>>(root.value)) fail("root is no dict");
    return *std::get<std::shared_ptr<PlistDict>>(root.value);
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error(what + " at offset " + std::to_string(pos_));
  }

  void skipSpace() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }

  void skipPrologue() {
    for (const char* start : {"<?xml", "<!DOCTYPE"}) {
      skipSpace();
      if (text_.compare(pos_, std::string(start).size(), start) != 0)
        fail(std::string("no ") + start);
      pos_ = text_.find('>', pos_);
      if (pos_ == std::string::npos) fail("unterminated prologue");
      ++pos_;
    }
  }

  std::string readTag() {
    skipSpace();
    if (pos_ >= text_.size() || text_[pos_] != '<') fail("expected a tag");
    std::size_t end = text_.find('>', pos_);
    if (end == std::string::npos) fail("unterminated tag");
    std::string tag = text_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    return tag;
  }

  void expectTag(const std::string& wanted) {
    if (std::string tag = readTag(); tag != wanted)
      fail("expected <" + wanted + ">, got <" + tag + ">");
  }

  std::string readText(const std::string& closing) {
    std::size_t end = text_.find('<', pos_);
    if (end == std::string::npos) fail("unterminated text");
    std::string text = text_.substr(pos_, end - pos_);
    if (text.find('&') != std::string::npos) fail("entities are not expected in this job");
    pos_ = end;
    expectTag(closing);
    return text;
  }

  PlistValue readValue() {
    std::string tag = readTag();
    if (tag == "string") return {readText("/string")};
    if (tag == "true/") return {true};
    if (tag == "false/") return {false};
    if (tag != "dict") fail("unexpected <" + tag + ">");
    auto dict = std::make_shared<PlistDict>();
    for (;;) {
      std::string next = readTag();
      if (next == "/dict") return {dict};
      if (next != "key") fail("expected <key>, got <" + next + ">");
      std::string key = readText("/key");
      if (dict->count(key) != 0) fail("duplicate key " + key);
      (*dict)[key] = readValue();
    }
  }

  std::string text_;
  std::size_t pos_ = 0;
};

PlistDict readJob() {
  std::string path =
      std::string(ZORVIK_SOURCE_DIR) + "/packaging/darwin/" + kHelperMachServiceName + ".plist";
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot open " + path);
  std::stringstream text;
  text << file.rdbuf();
  return PlistReader(text.str()).readDocument();
}

std::string stringAt(const PlistDict& dict, const std::string& key) {
  auto it = dict.find(key);
  if (it == dict.end() || !std::holds_alternative<std::string>(it->second.value)) return "<absent>";
  return std::get<std::string>(it->second.value);
}

std::optional<bool> boolAt(const PlistDict& dict, const std::string& key) {
  auto it = dict.find(key);
  if (it == dict.end() || !std::holds_alternative<bool>(it->second.value)) return std::nullopt;
  return std::get<bool>(it->second.value);
}

TEST(LaunchdJob, IsNamedAndAdvertisedAsTheMachService) {
  PlistDict job = readJob();
  EXPECT_EQ(stringAt(job, "Label"), kHelperMachServiceName);

  ASSERT_EQ(job.count("MachServices"), 1u);
  const auto* services = std::get_if<std::shared_ptr<PlistDict>>(&job.at("MachServices").value);
  ASSERT_NE(services, nullptr) << "MachServices must be a dict";
  ASSERT_EQ((*services)->size(), 1u);
  const auto& [name, advertised] = *(*services)->begin();
  EXPECT_EQ(name, kHelperMachServiceName);
  const bool* on = std::get_if<bool>(&advertised.value);
  ASSERT_NE(on, nullptr);
  EXPECT_TRUE(*on);
}

TEST(LaunchdJob, RunsTheInstalledHelperAsRootWithTheDaemonBesideIt) {
  PlistDict job = readJob();
  std::string program = stringAt(job, "Program");
  EXPECT_EQ(program, std::string("/Library/PrivilegedHelperTools/") + kHelperMachServiceName);
  EXPECT_EQ(stringAt(job, "UserName"), "root");
  // The helper finds amneziawg-go beside its real executable, which is Program.
  EXPECT_EQ(daemonPathFor(program), "/Library/PrivilegedHelperTools/amneziawg-go");
  EXPECT_EQ(daemonPathFor("com.zorvik.vpn.helper"), "")
      << "a relative path would find the daemon in the working directory";
}

// A helper that died with a tunnel up undoes it from its journal when it next starts; launchd
// must start it for that without waiting for a client.
TEST(LaunchdJob, StartsAtLoadAndAgainAfterACrash) {
  PlistDict job = readJob();
  EXPECT_EQ(boolAt(job, "RunAtLoad"), std::optional<bool>(true)) << "replays after a reboot";
  ASSERT_EQ(job.count("KeepAlive"), 1u) << "KeepAlive relaunches it after a crash";
  const auto* keepAlive = std::get_if<std::shared_ptr<PlistDict>>(&job.at("KeepAlive").value);
  ASSERT_NE(keepAlive, nullptr) << "KeepAlive must be a dict: true would also relaunch it "
                                   "after a clean exit";
  EXPECT_EQ((*keepAlive)->size(), 1u);
  EXPECT_EQ(boolAt(**keepAlive, "SuccessfulExit"), std::optional<bool>(false))
      << "relaunched only after an exit that is not a successful one";
  for (const char* key : {"StartInterval", "StartCalendarInterval"}) {
    EXPECT_EQ(job.count(key), 0u) << key << " would start the helper on a timer";
  }
}

}  // namespace
}  // namespace zorvik
