#pragma once

#include <string>
#include <vector>

#include "service/helper_settings.h"
#include "testing/temp_dir.h"

namespace zorvik::test_support {

/// A temporary directory with `route`, `ifconfig` and `networksetup` linked to
/// the fake_tool program: set their answers with on(), point the helper at
/// them with applyTo(), read back what they were called with through calls().
/// The directory goes away with the object. Beyond the rules they simulate a Mac's
/// state: DNS servers set, routes added through an interface, an interface brought up
/// (see fake_tool.cpp).
/// One network service of the simulated Mac, as networksetup describes it.
struct SimulatedService {
  std::string name;
  /// The "-getdnsservers" answer, one server a line; none: "There aren't any ...".
  std::vector<std::string> dnsServers;
  std::string ipv6 = "Automatic";  ///< the IPv6 mode "-getinfo" reports
  bool enabled = true;             ///< a disabled one is only listed, with its "*"
  /// The "-getsearchdomains" answer, one a line; none: "There aren't any ...".
  std::vector<std::string> searchDomains = {};
  /// Its "-listnetworkserviceorder" port line; empty: the name. A rename keeps both.
  std::string hardwarePort = {};
  std::string device = {};
};

class FakeTools {
 public:
  using Arguments = std::vector<std::string>;

  /// One answer of the scenario; the first rule that matches a call wins.
  struct Rule {
    std::string tool;     ///< "route", "ifconfig", "networksetup"; empty for any
    Arguments arguments;  ///< the call's arguments after argument zero
    bool prefix = false;  ///< match calls whose arguments start with `arguments` (empty: any)
    std::string stdoutText;
    std::string stderrText;
    int exitStatus = 0;
    bool rawStdout = false;  ///< write `stdoutText` byte for byte, even if not UTF-8
    bool report = false;     ///< also print open descriptors and SigBlk/SigIgn
    bool noEffect = false;   ///< the call succeeds and changes nothing of the simulated state
    bool hang = false;       ///< the tool never ends by itself
  };

  FakeTools();
  FakeTools(const FakeTools&) = delete;
  FakeTools& operator=(const FakeTools&) = delete;

  /// `tool` called with exactly `arguments` prints `stdoutText` and exits with `exitStatus`.
  FakeTools& on(const std::string& tool, const Arguments& arguments, const std::string& stdoutText,
                int exitStatus = 0);
  /// As on(), for every call whose arguments begin with `argumentsPrefix`.
  /// Answers "-listallnetworkservices", "-listnetworkserviceorder", and "-getdnsservers",
  /// "-getsearchdomains" and "-getinfo" for each enabled service, as the simulated Mac's
  /// networksetup would.
  FakeTools& simulateServices(const std::vector<SimulatedService>& services);
  FakeTools& onPrefix(const std::string& tool, const Arguments& argumentsPrefix,
                      const std::string& stdoutText, int exitStatus = 0);
  /// Adds any rule; later rules never override earlier ones.
  FakeTools& add(const Rule& rule);
  /// Forgets every rule, so a scenario can change its answers from here on.
  FakeTools& clearRules();

  std::string routePath() const { return path("route"); }
  std::string ifconfigPath() const { return path("ifconfig"); }
  std::string networksetupPath() const { return path("networksetup"); }
  /// Where applyTo() puts the tunnel journal.
  std::string journalPath() const { return dir_.file("tunnel-journal.json"); }
  /// The path of a tool link in the directory; only the three are linked.
  std::string path(const std::string& tool) const { return dir_.file(tool); }
  const TempDir& dir() const { return dir_; }

  /// Points the settings' three tool paths at the fakes, and the tunnel journal
  /// into the fakes' directory, so no test writes the system's journal.
  void applyTo(HelperSettings& settings) const;

  /// Every call so far, in order: tool name (argument zero's base name), then the arguments.
  std::vector<Arguments> calls() const;
  /// The calls of one tool, arguments only.
  std::vector<Arguments> callsOf(const std::string& tool) const;
  /// Forgets the calls so far.
  void clearCalls();

 private:
  void writeScenario() const;

  TempDir dir_;
  std::vector<Rule> rules_;
};

}  // namespace zorvik::test_support
