#include "netsys/dns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "netsys/command_runner.h"
#include "netsys/ipv6.h"
#include "testing/fake_tools.h"

namespace zorvik {
namespace {

using test_support::FakeTools;
using Calls = std::vector<std::vector<std::string>>;
using Names = std::vector<std::string>;
using Backup = std::map<std::string, std::string>;

/// A configuration's DNS with these servers and no search domain.
TunnelDNS servers(Names addresses) { return {std::move(addresses), {}}; }

constexpr const char* kHeader = "An asterisk (*) denotes that a network service is disabled.\n";

TEST(ParseNetworkServices, DropsHeaderDisabledAndBlankLines) {
  struct Case {
    const char* name;
    std::string listing;
    Names expected;
  };
  const Case cases[] = {
      {"empty", "", {}},
      {"header only", kHeader, {}},
      {"header only, blank lines", std::string("\n\n") + kHeader + "\n", {}},
      {"first line is the header whatever it says", "Wi-Fi\nEthernet\n", {"Ethernet"}},
      {"names trimmed, inner spaces kept",
       std::string(kHeader) + "  USB 10/100/1000 LAN\t\nWi-Fi\n",
       {"USB 10/100/1000 LAN", "Wi-Fi"}},
      {"disabled services skipped, also after blanks",
       std::string(kHeader) + "*Bluetooth PAN\n \t*Thunderbolt Bridge\nWi-Fi\n",
       {"Wi-Fi"}},
      {"star inside a name is kept", std::string(kHeader) + "Home * Office\n", {"Home * Office"}},
      {"blank-only lines dropped", std::string(kHeader) + "   \n\t\nWi-Fi", {"Wi-Fi"}},
      {"shell characters are just text",
       std::string(kHeader) + "My \"Home\" $(reboot)\n",
       {"My \"Home\" $(reboot)"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseNetworkServices(c.listing), c.expected) << c.name;
  }
}

TEST(ParseDNSServers, TakesTheAddressesAmongThePiecesBetweenCommasAndBlanks) {
  struct Case {
    std::string_view text;
    Names expected;
  };
  const Case cases[] = {
      {"", {}},
      {" , ,\t,, ", {}},
      {" 1.1.1.1 ,\t8.8.8.8 ", {"1.1.1.1", "8.8.8.8"}},
      {"1.1.1.1 8.8.8.8\u3000fd00::53", {"1.1.1.1", "8.8.8.8", "fd00::53"}},
      {"8.8.8.8,8.8.8.8", {"8.8.8.8", "8.8.8.8"}},
      {"10.0.0.1", {"10.0.0.1"}},
      {"fd00::1, corp.example -setv6off", {"fd00::1"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseDNSServers(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(DNSBackupValue, TakesOnlyTheNoServersNoteOrAddressesOnePerLine) {
  EXPECT_EQ(dnsBackupValue("There aren't any DNS Servers set on Wi-Fi.\n"), "empty");
  EXPECT_EQ(dnsBackupValue("Note: There aren't any here\n8.8.8.8\n"), "empty");
  EXPECT_EQ(dnsBackupValue(" 192.168.1.1\n192.168.1.2 \n\n"), "192.168.1.1\n192.168.1.2");
  EXPECT_EQ(dnsBackupValue("fd00::53\r\n8.8.8.8\n"), "fd00::53\n8.8.8.8");
  // Nothing that could be put back: the service must be left as it is.
  for (const char* unclean :
       {"", "\n \t\n", "there aren't any DNS Servers set.\n",
        "** Error: The parameters were not valid.\n",
        "8.8.8.8\nWi-Fi is not a recognized service.\n", "8.8.8.8 1.1.1.1\n"}) {
    EXPECT_EQ(dnsBackupValue(unclean), std::nullopt) << '"' << unclean << '"';
  }
}

TEST(SearchDomainsBackupValue, TakesOnlyTheNoDomainsNoteOrHostNamesOnePerLine) {
  EXPECT_EQ(searchDomainsBackupValue("There aren't any Search Domains set on Wi-Fi.\n"), "empty");
  EXPECT_EQ(searchDomainsBackupValue("corp.example\r\n lan. \n\n"), "corp.example\nlan.");
  for (const char* unclean : {"", "\n", "** Error: The parameters were not valid.\n",
                              "corp.example\n-setv6off\n", "corp.example lan\n", "10.0.0.1\n"}) {
    EXPECT_EQ(searchDomainsBackupValue(unclean), std::nullopt) << '"' << unclean << '"';
  }
}

/// Two enabled services (one with a quote, spaces and a command substitution in
/// its name), one disabled after blanks.
constexpr const char* kTrickyService = "Home \"LAN\" $(rm -rf /)";
void listTwoServices(FakeTools& tools) {
  tools.on("networksetup", {"-listallnetworkservices"},
           std::string(kHeader) + "Wi-Fi\n  " + kTrickyService + "\t\n \t*Bluetooth PAN\n");
}

TEST(OverrideDNS, BacksUpThenSetsEachServiceInListingOrder) {
  FakeTools tools;
  listTwoServices(tools);
  tools.on("networksetup", {"-getdnsservers", "Wi-Fi"}, "192.168.1.1\n192.168.1.2\n")
      .on("networksetup", {"-getdnsservers", kTrickyService},
          "There aren't any DNS Servers set on " + std::string(kTrickyService) + ".\n");

  Backup backup, domains;
  EXPECT_EQ(
      overrideDNS(tools.networksetupPath(), servers({"10.8.0.1", "1.1.1.1"}), backup, domains),
      std::nullopt);

  // Each set is read back: the simulated Mac lists what was set.
  EXPECT_EQ(tools.callsOf("networksetup"),
            (Calls{{"-listallnetworkservices"},
                   {"-getdnsservers", "Wi-Fi"},
                   {"-setdnsservers", "Wi-Fi", "10.8.0.1", "1.1.1.1"},
                   {"-getdnsservers", "Wi-Fi"},
                   {"-getdnsservers", kTrickyService},
                   {"-setdnsservers", kTrickyService, "10.8.0.1", "1.1.1.1"},
                   {"-getdnsservers", kTrickyService}}));
  EXPECT_EQ(backup, (Backup{{"Wi-Fi", "192.168.1.1\n192.168.1.2"}, {kTrickyService, "empty"}}));
  EXPECT_TRUE(domains.empty()) << "no search domain, none read";
}

TEST(OverrideDNS, SearchDomainsAreBackedUpAndSetAfterEachServicesServers) {
  FakeTools tools;
  tools.on("networksetup", {"-listallnetworkservices"},
           std::string(kHeader) + "Wi-Fi\n" + kTrickyService + "\nBroken\nNo DNS\n");
  tools.onPrefix("networksetup", {"-getdnsservers", "No DNS"}, "** Error: none\n")
      .onPrefix("networksetup", {"-getdnsservers"}, "192.168.1.1\n")
      .on("networksetup", {"-getsearchdomains", "Wi-Fi"},
          "There aren't any Search Domains set on Wi-Fi.\n")
      .on("networksetup", {"-getsearchdomains", kTrickyService}, "home.example\nlan\n")
      .on("networksetup", {"-getsearchdomains", "Broken"},
          "** Error: The parameters were not valid.\n");

  Backup backup, domains;
  overrideDNS(tools.networksetupPath(), {{"10.77.0.1"}, {"corp.example", "lab.corp.example."}},
              backup, domains);

  // Broken gets the servers but keeps its own domains; No DNS is not touched at all.
  EXPECT_EQ(tools.callsOf("networksetup"),
            (Calls{{"-listallnetworkservices"},
                   {"-getdnsservers", "Wi-Fi"},
                   {"-setdnsservers", "Wi-Fi", "10.77.0.1"},
                   {"-getdnsservers", "Wi-Fi"},
                   {"-getsearchdomains", "Wi-Fi"},
                   {"-setsearchdomains", "Wi-Fi", "corp.example", "lab.corp.example."},
                   {"-getdnsservers", kTrickyService},
                   {"-setdnsservers", kTrickyService, "10.77.0.1"},
                   {"-getdnsservers", kTrickyService},
                   {"-getsearchdomains", kTrickyService},
                   {"-setsearchdomains", kTrickyService, "corp.example", "lab.corp.example."},
                   {"-getdnsservers", "Broken"},
                   {"-setdnsservers", "Broken", "10.77.0.1"},
                   {"-getdnsservers", "Broken"},
                   {"-getsearchdomains", "Broken"},
                   {"-getdnsservers", "No DNS"}}));
  EXPECT_EQ(domains, (Backup{{"Wi-Fi", "empty"}, {kTrickyService, "home.example\nlan"}}));
  EXPECT_EQ(backup.size(), 3u);
}

TEST(OverrideDNS, AServiceReadUncleanlyOrListedTwiceIsHandledOnceOrNotAtAll) {
  FakeTools tools;
  tools.on("networksetup", {"-listallnetworkservices"},
           std::string(kHeader) + "Wi-Fi\nBroken\nWi-Fi\n");
  tools.on("networksetup", {"-getdnsservers", "Wi-Fi"}, "192.168.1.1\n")
      .on("networksetup", {"-getdnsservers", "Broken"},
          "** Error: The parameters were not valid.\n");

  Backup backup, domains;
  overrideDNS(tools.networksetupPath(), servers({"10.8.0.1"}), backup, domains);

  EXPECT_EQ(tools.callsOf("networksetup"), (Calls{{"-listallnetworkservices"},
                                                  {"-getdnsservers", "Wi-Fi"},
                                                  {"-setdnsservers", "Wi-Fi", "10.8.0.1"},
                                                  {"-getdnsservers", "Wi-Fi"},
                                                  {"-getdnsservers", "Broken"}}));
  EXPECT_EQ(backup, (Backup{{"Wi-Fi", "192.168.1.1"}}));
}

// A service left on its own resolver sends every name past the tunnel: the first whose
// servers did not take is named, after its backup is kept, and no later one is changed.
TEST(OverrideDNS, TheFirstServiceWhoseServersDidNotTakeIsNamedAndNoneAfterItChanged) {
  const std::vector<std::string> setWifi = {"-setdnsservers", "Wi-Fi", "10.8.0.1", "1.1.1.1"};
  struct Case {
    const char* name;
    std::function<void(FakeTools&)> fault;
  };
  const Case cases[] = {
      {"the set fails", [&](FakeTools& t) { t.on("networksetup", setWifi, "", 1); }},
      {"the set succeeds and changes nothing",
       [&](FakeTools& t) {
         FakeTools::Rule rule;
         rule.tool = "networksetup";
         rule.arguments = setWifi;
         rule.noEffect = true;
         t.add(rule);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeTools tools;
    c.fault(tools);
    listTwoServices(tools);
    tools.on("networksetup", {"-getdnsservers", "Wi-Fi"}, "192.168.1.1\n");
    Backup backup, domains;
    EXPECT_EQ(
        overrideDNS(tools.networksetupPath(), servers({"10.8.0.1", "1.1.1.1"}), backup, domains),
        "Wi-Fi");
    EXPECT_EQ(backup, (Backup{{"Wi-Fi", "192.168.1.1"}})) << "kept for the teardown";
    const Calls calls = tools.callsOf("networksetup");
    EXPECT_EQ(
        std::count(calls.begin(), calls.end(), Calls::value_type{"-getdnsservers", kTrickyService}),
        0);
  }
}

TEST(OverrideDNS, ServersThatCannotBeReadAtAllFailAtThatServiceUnchanged) {
  // The tool killed at the run limit, as one that hangs is.
  setToolRunLimit(std::chrono::milliseconds(300), nullptr);
  FakeTools tools;
  FakeTools::Rule hang;
  hang.tool = "networksetup";
  hang.arguments = {"-getdnsservers", "Wi-Fi"};
  hang.hang = true;
  tools.add(hang);
  listTwoServices(tools);
  Backup backup, domains;
  const auto failed = overrideDNS(tools.networksetupPath(), servers({"10.8.0.1"}), backup, domains);
  setToolRunLimit(kToolRunLimit, nullptr);
  EXPECT_EQ(failed, "Wi-Fi");
  EXPECT_EQ(tools.callsOf("networksetup"),
            (Calls{{"-listallnetworkservices"}, {"-getdnsservers", "Wi-Fi"}}));
  EXPECT_TRUE(backup.empty());
}

TEST(OverrideDNS, SettingsAlreadyTheTunnelsAreBackedUpAsTheEarlierBackupOrNone) {
  const TunnelDNS dns{{"10.8.0.1", "1.1.1.1"}, {"corp.example"}};
  const struct {
    const char* what;
    std::string servers, domains;
    Backup earlierServers, earlierDomains;
    EarlierName earlierName;
    Backup expectedServers, expectedDomains;
  } cases[] = {
      {"none earlier",
       "10.8.0.1\n1.1.1.1\n",
       "corp.example\n",
       {},
       {},
       {},
       {{"Wi-Fi 2", "empty"}},
       {{"Wi-Fi 2", "empty"}}},
      {"the backup of its name before a rename",
       "10.8.0.1\n1.1.1.1\n",
       "corp.example\n",
       {{"Wi-Fi", "192.168.1.1"}},
       {{"Wi-Fi", "home.example"}},
       [](const std::string& service) -> std::optional<std::string> {
         if (service == "Wi-Fi 2") return "Wi-Fi";
         return std::nullopt;
       },
       {{"Wi-Fi", "192.168.1.1"}, {"Wi-Fi 2", "192.168.1.1"}},
       {{"Wi-Fi", "home.example"}, {"Wi-Fi 2", "home.example"}}},
      {"the same servers in another order are its own",
       "1.1.1.1\n10.8.0.1\n",
       "lan.example\ncorp.example\n",
       {},
       {},
       {},
       {{"Wi-Fi 2", "1.1.1.1\n10.8.0.1"}},
       {{"Wi-Fi 2", "lan.example\ncorp.example"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeTools tools;
    tools.on("networksetup", {"-listallnetworkservices"}, std::string(kHeader) + "Wi-Fi 2\n")
        .on("networksetup", {"-getdnsservers", "Wi-Fi 2"}, c.servers)
        .on("networksetup", {"-getsearchdomains", "Wi-Fi 2"}, c.domains);
    Backup backup = c.earlierServers, domains = c.earlierDomains;
    EXPECT_EQ(overrideDNS(tools.networksetupPath(), dns, backup, domains, {}, c.earlierName),
              std::nullopt);
    EXPECT_EQ(backup, c.expectedServers);
    EXPECT_EQ(domains, c.expectedDomains);
  }
}

TEST(OverrideDNS, NoServersMeansNoToolRunAtAll) {
  for (const TunnelDNS& dns : {TunnelDNS{}, TunnelDNS{{}, {"corp.example"}}}) {
    FakeTools tools;
    listTwoServices(tools);
    Backup backup, domains;
    overrideDNS(tools.networksetupPath(), dns, backup, domains);
    EXPECT_TRUE(tools.calls().empty()) << dns.searchDomains.size() << " search domains";
    EXPECT_TRUE(backup.empty());
    EXPECT_TRUE(domains.empty());
  }
}

TEST(OverrideDNS, NoEnabledServiceMeansOnlyTheListing) {
  FakeTools tools;
  tools.on("networksetup", {"-listallnetworkservices"}, std::string(kHeader) + "*Wi-Fi\n");
  Backup backup, domains;
  overrideDNS(tools.networksetupPath(), servers({"10.8.0.1"}), backup, domains);
  EXPECT_EQ(tools.callsOf("networksetup"), (Calls{{"-listallnetworkservices"}}));
  EXPECT_TRUE(backup.empty());
}

TEST(OverrideDNS, MissingToolChangesNothing) {
  FakeTools tools;
  Backup backup, domains;
  overrideDNS(tools.dir().file("absent"), {{"10.8.0.1"}, {"corp.example"}}, backup, domains);
  EXPECT_TRUE(backup.empty());
  EXPECT_TRUE(domains.empty());
}

TEST(OverrideDNS, RecordsEachBackupBeforeChangingThatSetting) {
  FakeTools tools;
  listTwoServices(tools);
  tools.onPrefix("networksetup", {"-getdnsservers"}, "9.9.9.9\n")
      .onPrefix("networksetup", {"-getsearchdomains"}, "home.example\n");
  Backup backup, domains;
  // At each record: how many entries both backups hold, and how many changes were made.
  std::vector<std::pair<std::size_t, std::size_t>> records;
  overrideDNS(tools.networksetupPath(), {{"10.8.0.1"}, {"corp.example"}}, backup, domains, [&] {
    std::size_t sets = 0;
    for (const auto& call : tools.callsOf("networksetup")) sets += call.front().starts_with("-set");
    records.emplace_back(backup.size() + domains.size(), sets);
  });
  EXPECT_EQ(records,
            (std::vector<std::pair<std::size_t, std::size_t>>{{1, 0}, {2, 1}, {3, 2}, {4, 3}}));
}

TEST(RestoreDNS, PutsBackEachKindOfBackupAndEmptiesTheMaps) {
  FakeTools tools;
  Backup backup = {
      {"Wi-Fi", "192.168.1.2\n192.168.1.1"},
      {kTrickyService, "empty"},
      {"Ethernet", ""},
      {"USB LAN", "Empty"},
  };
  Backup domains = {
      {"Wi-Fi", "empty"}, {kTrickyService, "home.example\nlan"}, {"Only", "x.example"}};
  restoreDNS(tools.networksetupPath(), backup, domains);
  // The maps are ordered by name, so is the restore; a service's servers come first.
  EXPECT_EQ(tools.callsOf("networksetup"),
            (Calls{{"-setdnsservers", "Ethernet"},
                   {"-setdnsservers", kTrickyService, "Empty"},
                   {"-setsearchdomains", kTrickyService, "home.example", "lan"},
                   {"-setsearchdomains", "Only", "x.example"},
                   {"-setdnsservers", "USB LAN", "Empty"},
                   {"-setdnsservers", "Wi-Fi", "192.168.1.2", "192.168.1.1"},
                   {"-setsearchdomains", "Wi-Fi", "Empty"}}));
  EXPECT_TRUE(backup.empty());
  EXPECT_TRUE(domains.empty());
}

TEST(RestoreDNS, EmptiesTheMapEvenWhenEveryRunFails) {
  FakeTools tools;
  Backup backup = {{"Wi-Fi", "8.8.8.8"}};
  Backup domains = {{"Wi-Fi", "corp.example"}};
  restoreDNS(tools.dir().file("absent"), backup, domains);
  EXPECT_TRUE(backup.empty());
  EXPECT_TRUE(domains.empty());

  restoreDNS(tools.networksetupPath(), backup, domains);
  EXPECT_TRUE(tools.calls().empty()) << "an empty backup runs no tool";
}

TEST(DNS, OverrideThenRestoreRoundTrip) {
  FakeTools tools;
  listTwoServices(tools);
  tools.on("networksetup", {"-getdnsservers", "Wi-Fi"}, "8.8.4.4\n8.8.8.8\n")
      .on("networksetup", {"-getdnsservers", kTrickyService}, "There aren't any DNS Servers.\n")
      .on("networksetup", {"-getsearchdomains", "Wi-Fi"}, "home.example\n")
      .on("networksetup", {"-getsearchdomains", kTrickyService},
          "There aren't any Search Domains set on " + std::string(kTrickyService) + ".\n");
  Backup backup, domains;
  overrideDNS(tools.networksetupPath(), {{"10.8.0.1"}, {"corp.example"}}, backup, domains);
  tools.clearCalls();
  restoreDNS(tools.networksetupPath(), backup, domains);
  EXPECT_EQ(tools.callsOf("networksetup"), (Calls{{"-setdnsservers", kTrickyService, "Empty"},
                                                  {"-setsearchdomains", kTrickyService, "Empty"},
                                                  {"-setdnsservers", "Wi-Fi", "8.8.4.4", "8.8.8.8"},
                                                  {"-setsearchdomains", "Wi-Fi", "home.example"}}));
}

TEST(HostSettings, ServiceFieldsRecordAndForgetWhatWasChanged) {
  FakeTools tools;
  tools.simulateServices({{"Wi-Fi", {}}, {"Off", {}, "Automatic", false}});
  Backup dnsBackup, domains;
  std::vector<std::string> ipv6Disabled;

  overrideDNS(tools.networksetupPath(), servers({"10.8.0.1"}), dnsBackup, domains);
  disableIPv6(tools.networksetupPath(), ipv6Disabled);
  EXPECT_EQ(dnsBackup, (Backup{{"Wi-Fi", "empty"}}));
  EXPECT_EQ(ipv6Disabled, std::vector<std::string>{"Wi-Fi"});

  tools.clearCalls();
  restoreDNS(tools.networksetupPath(), dnsBackup, domains);
  restoreIPv6(tools.networksetupPath(), ipv6Disabled);
  EXPECT_EQ(tools.callsOf("networksetup"),
            (Calls{{"-setdnsservers", "Wi-Fi", "Empty"}, {"-setv6automatic", "Wi-Fi"}}));
  EXPECT_TRUE(dnsBackup.empty());
  EXPECT_TRUE(ipv6Disabled.empty());
}

}  // namespace
}  // namespace zorvik
