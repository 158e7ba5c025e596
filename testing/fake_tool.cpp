// Stand-in for route, ifconfig and networksetup in unit tests. Run through a
// link named after the tool, it appends its argument vector as one JSON array
// per line to fake_tool_journal.jsonl in its own directory, then answers from
// the first matching rule of fake_tool_scenario.json there:
//   {"rules": [{"tool": "route", "args": ["-n", "get", "default"],
//               "prefix": false, "stdout": "...", "stdoutHex": "ff00",
//               "stderr": "...", "exit": 0, "report": false}]}
// "tool" absent matches any tool; "prefix" matches args as a leading part;
// "report" prints the open descriptors and the SigBlk/SigIgn lines of
// /proc/self/status; "hang" waits, after its output, until the tool is killed. No matching rule: no
// output, exit 0, except that, as the simulated Mac would, networksetup -getdnsservers S answers
// with what an earlier -setdnsservers S set (before any rule); when no rule answers, route -n get
// [-inet6] A with the latest route through an interface an earlier add made whose address is A, and
// ifconfig I with I's flags when an earlier "ifconfig I up" (or down) said. A call a rule
// fails (exit status not 0) or marks "noEffect" set or added nothing. That history is kept
// in fake_tool_history.jsonl, which clearing the calls leaves.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
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

void appendTo(const std::string& file, const std::vector<std::string>& argv) {
  std::string line = json(argv).dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::perror("fake_tool: journal");
    std::exit(97);
  }
  zorvik::writeAll(fd, line);
  ::close(fd);
}

// The journal a test reads and clears, and the history of the simulated state, never cleared.
void appendToJournal(const std::string& dir, const std::vector<std::string>& argv) {
  appendTo(dir + "/fake_tool_journal.jsonl", argv);
  appendTo(dir + "/fake_tool_history.jsonl", argv);
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

std::vector<std::vector<std::string>> journal(const std::string& dir) {
  std::vector<std::vector<std::string>> calls;
  std::ifstream in(dir + "/fake_tool_history.jsonl");
  for (std::string line; std::getline(in, line);) {
    auto call = json::parse(line).get<std::vector<std::string>>();
    if (call.empty()) continue;
    call.front() = baseName(call.front());
    calls.push_back(std::move(call));
  }
  return calls;
}

// Whether the rules make this earlier call fail, or succeed without an effect.
bool failedByRule(const json& rules, const std::vector<std::string>& call) {
  const std::vector<std::string> args(call.begin() + 1, call.end());
  for (const json& rule : rules) {
    if (matches(rule, call.front(), args))
      return rule.value("exit", 0) != 0 || rule.value("noEffect", false);
  }
  return false;
}

// "ifconfig IFACE" for an interface an earlier call brought up and none took down or away.
std::optional<std::string> interfaceShownEarlier(const json& rules,
                                                 const std::vector<std::vector<std::string>>& calls,
                                                 const std::string& iface) {
  std::optional<bool> up;
  for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
    const auto& call = calls[i];
    if (call.front() != "ifconfig" || call.size() != 3 || call[1] != iface ||
        failedByRule(rules, call))
      continue;
    if (call[2] == "up") up = true;
    if (call[2] == "down") up = false;
    if (call[2] == "destroy") up.reset();
  }
  if (!up) return std::nullopt;
  return iface + (*up ? ": flags=8051<UP,POINTOPOINT,RUNNING,MULTICAST> mtu 1380\n"
                      : ": flags=8010<POINTOPOINT,MULTICAST> mtu 1380\n");
}

// What the last -setdnsservers of `service` that took set, as -getdnsservers prints it.
std::optional<std::string> dnsSetEarlier(const json& rules,
                                         const std::vector<std::vector<std::string>>& calls,
                                         const std::string& service) {
  std::optional<std::string> answer;
  for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
    const auto& call = calls[i];
    if (call.front() != "networksetup" || call.size() < 4 || call[1] != "-setdnsservers" ||
        call[2] != service || failedByRule(rules, call))
      continue;
    std::string text;
    for (std::size_t j = 3; j < call.size(); ++j) text += call[j] + "\n";
    if (call[3] == "Empty") text = "There aren't any DNS Servers set on " + service + ".\n";
    answer = text;
  }
  return answer;
}

std::string maskText(bool v6, int length) {
  unsigned char bytes[16] = {};
  for (int bit = 0; bit < length; ++bit)
    bytes[bit / 8] |= static_cast<unsigned char>(0x80 >> (bit % 8));
  char text[INET6_ADDRSTRLEN] = {};
  ::inet_ntop(v6 ? AF_INET6 : AF_INET, bytes, text, sizeof text);
  return text;
}

// The "route -n get" answer for a route an earlier "route -q -n add -inet(6) P -interface I"
// made and no later delete took away, P's address being `address`.
std::optional<std::string> routeAddedEarlier(const json& rules,
                                             const std::vector<std::vector<std::string>>& calls,
                                             bool v6, const std::string& address) {
  // prefix -> interface and when it was added
  std::map<std::string, std::pair<std::string, std::size_t>> routes;
  for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
    const auto& call = calls[i];
    if (call.front() != "route" || call.size() < 7 || call[1] != "-q" || failedByRule(rules, call))
      continue;
    if (call[4] != (v6 ? "-inet6" : "-inet")) continue;
    if (call[3] == "add" && call.size() == 8 && call[6] == "-interface")
      routes[call[5]] = {call[7], i};
    if (call[3] == "delete") routes.erase(call[5]);
  }
  // The latest such route: the fake never sees an interface take its routes with it.
  std::optional<std::string> answer;
  std::optional<std::size_t> latest;
  for (const auto& [prefix, added] : routes) {
    const auto slash = prefix.find('/');
    if (prefix.substr(0, slash) != address) continue;
    if (latest && added.second < *latest) continue;
    latest = added.second;
    const int length =
        slash == std::string::npos ? (v6 ? 128 : 32) : std::stoi(prefix.substr(slash + 1));
    // As macOS prints it: 0.0.0.0 as "default", no mask for a host route.
    std::string text = "   route to: " + address + "\ndestination: ";
    text += (!v6 && address == "0.0.0.0") ? "default" : address;
    text += "\n";
    if (length < (v6 ? 128 : 32)) text += "       mask: " + maskText(v6, length) + "\n";
    text += "  interface: " + added.first + "\n      flags: <UP,DONE,STATIC>\n";
    answer = text;
  }
  return answer;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> all(argv, argv + argc);
  std::string dir = directoryOf(all.at(0));
  std::string tool = baseName(all.at(0));
  std::vector<std::string> args(all.begin() + 1, all.end());

  appendToJournal(dir, all);
  try {
    const json rules = loadRules(dir);
    if (tool == "networksetup" && args.size() == 2 && args[0] == "-getdnsservers") {
      if (auto set = dnsSetEarlier(rules, journal(dir), args[1])) {
        zorvik::writeAll(STDOUT_FILENO, *set);
        return 0;
      }
    }
    for (const json& rule : rules) {
      if (!matches(rule, tool, args)) continue;
      std::string out = rule.value("stdout", "");
      if (rule.contains("stdoutHex")) out += fromHex(rule["stdoutHex"].get<std::string>());
      if (rule.value("report", false)) out += report();
      zorvik::writeAll(STDERR_FILENO, rule.value("stderr", ""));
      zorvik::writeAll(STDOUT_FILENO, out);
      // Until the run limit of the caller ends it.
      while (rule.value("hang", false)) ::pause();
      return rule.value("exit", 0);
    }
    if (tool == "ifconfig" && args.size() == 1) {
      if (auto shown = interfaceShownEarlier(rules, journal(dir), args[0])) {
        zorvik::writeAll(STDOUT_FILENO, *shown);
        return 0;
      }
    }
    const bool get6 = args.size() == 4 && args[2] == "-inet6";
    if (tool == "route" && args.size() >= 3 && args[0] == "-n" && args[1] == "get" &&
        (args.size() == 3 || get6)) {
      if (auto route = routeAddedEarlier(rules, journal(dir), get6, args.back())) {
        zorvik::writeAll(STDOUT_FILENO, *route);
        return 0;
      }
    }
  } catch (const std::exception& e) {
    zorvik::writeAll(STDERR_FILENO, std::string("fake_tool: bad scenario: ") + e.what() + "\n");
    return 98;
  }
  return 0;
}
