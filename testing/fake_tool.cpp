// Stand-in for route, ifconfig and networksetup in unit tests. Run through a
// link named after the tool, it appends its argument vector as one JSON array
// per line to fake_tool_journal.jsonl in its own directory, then answers from
// the first matching rule of fake_tool_scenario.json there:
//   {"rules": [{"tool": "route", "args": ["-n", "get", "default"],
//               "prefix": false, "stdout": "...", "stdoutHex": "ff00",
//               "stderr": "...", "exit": 0, "report": false}]}
// "tool" absent matches any tool; "prefix" matches args as a leading part;
// "report" prints the open descriptors and the SigBlk/SigIgn lines of
// /proc/self/status. No matching rule: no output, exit 0.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/fd_io.h"

namespace {

using nlohmann::json;

std::string directoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string baseName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void appendToJournal(const std::string& dir, const std::vector<std::string>& argv) {
  std::string line = json(argv).dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  int fd = ::open((dir + "/fake_tool_journal.jsonl").c_str(),
                  O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::perror("fake_tool: journal");
    std::exit(97);
  }
  zorvik::writeAll(fd, line);
  ::close(fd);
}

json loadRules(const std::string& dir) {
  std::ifstream in(dir + "/fake_tool_scenario.json");
  if (!in) return json::array();
  json scenario = json::parse(in);
  return scenario.value("rules", json::array());
}

bool matches(const json& rule, const std::string& tool, const std::vector<std::string>& args) {
  if (rule.contains("tool") && rule["tool"].get<std::string>() != tool) return false;
  if (!rule.contains("args")) return true;
  auto expected = rule["args"].get<std::vector<std::string>>();
  if (rule.value("prefix", false)) {
    return expected.size() <= args.size() &&
           std::equal(expected.begin(), expected.end(), args.begin());
  }
  return expected == args;
}

std::string fromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return out;
}

/// "fds: 0 1 2\n" then the SigBlk and SigIgn lines of /proc/self/status.
std::string report() {
  std::string out = "fds:";
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    int own = ::dirfd(dir);
    std::vector<int> fds;
    while (dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      int fd = std::stoi(entry->d_name);
      if (fd != own) fds.push_back(fd);
    }
    ::closedir(dir);
    std::sort(fds.begin(), fds.end());
    for (int fd : fds) out += " " + std::to_string(fd);
  }
  out += "\n";
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) out += line + "\n";
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> all(argv, argv + argc);
  std::string dir = directoryOf(all.at(0));
  std::string tool = baseName(all.at(0));
  std::vector<std::string> args(all.begin() + 1, all.end());

  appendToJournal(dir, all);
  try {
    for (const json& rule : loadRules(dir)) {
      if (!matches(rule, tool, args)) continue;
      std::string out = rule.value("stdout", "");
      if (rule.contains("stdoutHex")) out += fromHex(rule["stdoutHex"].get<std::string>());
      if (rule.value("report", false)) out += report();
      zorvik::writeAll(STDERR_FILENO, rule.value("stderr", ""));
      zorvik::writeAll(STDOUT_FILENO, out);
      return rule.value("exit", 0);
    }
  } catch (const std::exception& e) {
    zorvik::writeAll(STDERR_FILENO, std::string("fake_tool: bad scenario: ") + e.what() + "\n");
    return 98;
  }
  return 0;
}
