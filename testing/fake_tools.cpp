#include "testing/fake_tools.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace zorvik::test_support {
namespace {

using nlohmann::json;

constexpr const char* kFakeToolProgram = ZORVIK_BUILD_DIR "/fake_tool";

std::string toHex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 0xF];
  }
  return out;
}

std::string baseName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

}  // namespace

FakeTools::FakeTools() {
  if (!std::filesystem::exists(kFakeToolProgram)) {
    throw std::runtime_error(std::string("fake tool not built: ") + kFakeToolProgram);
  }
  for (const char* tool : {"route", "ifconfig", "networksetup"}) {
    std::filesystem::create_symlink(kFakeToolProgram, path(tool));
  }
  writeScenario();
}

FakeTools& FakeTools::simulateServices(const std::vector<SimulatedService>& services) {
  std::string listing = "An asterisk (*) denotes that a network service is disabled.\n";
  std::string order = listing;
  for (const SimulatedService& service : services) {
    listing += (service.enabled ? "" : "*") + service.name + "\n";
    order += "(" + (service.enabled ? std::to_string(&service - services.data() + 1) : "*") + ") " +
             service.name + "\n(Hardware Port: " +
             (service.hardwarePort.empty() ? service.name : service.hardwarePort) +
             ", Device: " + service.device + ")\n\n";
    if (!service.enabled) continue;
    std::string dns;
    for (const std::string& server : service.dnsServers) dns += server + "\n";
    if (dns.empty()) dns = "There aren't any DNS Servers set on " + service.name + ".\n";
    on("networksetup", {"-getdnsservers", service.name}, dns);
    std::string domains;
    for (const std::string& domain : service.searchDomains) domains += domain + "\n";
    if (domains.empty()) domains = "There aren't any Search Domains set on " + service.name + ".\n";
    on("networksetup", {"-getsearchdomains", service.name}, domains);
    on("networksetup", {"-getinfo", service.name}, "IPv6: " + service.ipv6 + "\n");
  }
  on("networksetup", {"-listnetworkserviceorder"}, order);
  return on("networksetup", {"-listallnetworkservices"}, listing);
}

FakeTools& FakeTools::on(const std::string& tool, const Arguments& arguments,
                         const std::string& stdoutText, int exitStatus) {
  Rule rule;
  rule.tool = tool;
  rule.arguments = arguments;
  rule.stdoutText = stdoutText;
  rule.exitStatus = exitStatus;
  return add(rule);
}

FakeTools& FakeTools::onPrefix(const std::string& tool, const Arguments& argumentsPrefix,
                               const std::string& stdoutText, int exitStatus) {
  Rule rule;
  rule.tool = tool;
  rule.arguments = argumentsPrefix;
  rule.prefix = true;
  rule.stdoutText = stdoutText;
  rule.exitStatus = exitStatus;
  return add(rule);
}

FakeTools& FakeTools::add(const Rule& rule) {
  rules_.push_back(rule);
  writeScenario();
  return *this;
}

FakeTools& FakeTools::clearRules() {
  rules_.clear();
  writeScenario();
  return *this;
}

void FakeTools::applyTo(HelperSettings& settings) const {
  settings.routeTool = routePath();
  settings.ifconfigTool = ifconfigPath();
  settings.networksetupTool = networksetupPath();
  settings.journalPath = journalPath();
}

void FakeTools::writeScenario() const {
  json rules = json::array();
  for (const Rule& rule : rules_) {
    json r = {{"args", rule.arguments},  {"prefix", rule.prefix}, {"stderr", rule.stderrText},
              {"exit", rule.exitStatus}, {"report", rule.report}, {"noEffect", rule.noEffect},
              {"hang", rule.hang}};
    if (!rule.tool.empty()) r["tool"] = rule.tool;
    if (rule.rawStdout) {
      r["stdoutHex"] = toHex(rule.stdoutText);
    } else {
      r["stdout"] = rule.stdoutText;
    }
    rules.push_back(std::move(r));
  }
  // Replaced in one rename, so a tool never reads half a scenario.
  std::string temporary = dir_.file("fake_tool_scenario.json.new");
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << json{{"rules", rules}}.dump(2) << "\n";
    if (!out) throw std::runtime_error("cannot write " + temporary);
  }
  std::filesystem::rename(temporary, dir_.file("fake_tool_scenario.json"));
}

std::vector<FakeTools::Arguments> FakeTools::calls() const {
  std::vector<Arguments> out;
  std::ifstream in(dir_.file("fake_tool_journal.jsonl"));
  for (std::string line; std::getline(in, line);) {
    auto call = json::parse(line).get<Arguments>();
    if (!call.empty()) call.front() = baseName(call.front());
    out.push_back(std::move(call));
  }
  return out;
}

std::vector<FakeTools::Arguments> FakeTools::callsOf(const std::string& tool) const {
  std::vector<Arguments> out;
  for (auto& call : calls()) {
    if (!call.empty() && call.front() == tool) out.emplace_back(call.begin() + 1, call.end());
  }
  return out;
}

void FakeTools::clearCalls() {
  std::error_code ignored;
  std::filesystem::remove(dir_.file("fake_tool_journal.jsonl"), ignored);
}

}  // namespace zorvik::test_support
