#include "netsys/dns.h"

#include <gtest/gtest.h>

#include "netsys/ipv6.h"
#include "testing/fake_tools.h"

namespace zorvik {
namespace {

using test_support::FakeTools;
using Calls = std::vector<std::vector<std::string>>;
using Names = std::vector<std::string>;

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

TEST(ParseDNSServers, SplitsAtCommasAndTrimsBlanks) {
  struct Case {
    std::string_view text;
    Names expected;
  };
  const Case cases[] = {
      {"", {}},
      {" , ,\t,, ", {}},
      {" 1.1.1.1 ,\t8.8.8.8 ", {"1.1.1.1", "8.8.8.8"}},
      {"8.8.8.8,8.8.8.8", {"8.8.8.8", "8.8.8.8"}},
      {"10.0.0.1", {"10.0.0.1"}},
      {"fd00::1, not-an-address", {"fd00::1", "not-an-address"}},
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

  std::map<std::string, std::string> backup;
  overrideDNS(tools.networksetupPath(), " 10.8.0.1 , 1.1.1.1", backup);

  EXPECT_EQ(tools.callsOf("networksetup"),
            (Calls{{"-listallnetworkservices"},
                   {"-getdnsservers", "Wi-Fi"},
                   {"-setdnsservers", "Wi-Fi", "10.8.0.1", "1.1.1.1"},
                   {"-getdnsservers", kTrickyService},
                   {"-setdnsservers", kTrickyService, "10.8.0.1", "1.1.1.1"}}));
  EXPECT_EQ(backup, (std::map<std::string, std::string>{{"Wi-Fi", "192.168.1.1\n192.168.1.2"},
                                                        {kTrickyService, "empty"}}));
}

TEST(OverrideDNS, AServiceReadUncleanlyOrListedTwiceIsHandledOnceOrNotAtAll) {
  FakeTools tools;
  tools.on("networksetup", {"-listallnetworkservices"},
           std::string(kHeader) + "Wi-Fi\nBroken\nWi-Fi\n");
  tools.on("networksetup", {"-getdnsservers", "Wi-Fi"}, "192.168.1.1\n")
      .on("networksetup", {"-getdnsservers", "Broken"},
          "** Error: The parameters were not valid.\n");

  std::map<std::string, std::string> backup;
  overrideDNS(tools.networksetupPath(), "10.8.0.1", backup);

  EXPECT_EQ(tools.callsOf("networksetup"), (Calls{{"-listallnetworkservices"},
                                                  {"-getdnsservers", "Wi-Fi"},
                                                  {"-setdnsservers", "Wi-Fi", "10.8.0.1"},
                                                  {"-getdnsservers", "Broken"}}));
  EXPECT_EQ(backup, (std::map<std::string, std::string>{{"Wi-Fi", "192.168.1.1"}}));
}

TEST(OverrideDNS, NoServersMeansNoToolRunAtAll) {
  for (const char* dnsText : {"", " , \t,"}) {
    FakeTools tools;
    listTwoServices(tools);
    std::map<std::string, std::string> backup;
    overrideDNS(tools.networksetupPath(), dnsText, backup);
    EXPECT_TRUE(tools.calls().empty()) << '"' << dnsText << '"';
    EXPECT_TRUE(backup.empty());
  }
}

TEST(OverrideDNS, NoEnabledServiceMeansOnlyTheListing) {
  FakeTools tools;
  tools.on("networksetup", {"-listallnetworkservices"}, std::string(kHeader) + "*Wi-Fi\n");
  std::map<std::string, std::string> backup;
  overrideDNS(tools.networksetupPath(), "10.8.0.1", backup);
  EXPECT_EQ(tools.callsOf("networksetup"), (Calls{{"-listallnetworkservices"}}));
  EXPECT_TRUE(backup.empty());
}

TEST(OverrideDNS, MissingToolChangesNothing) {
  FakeTools tools;
  std::map<std::string, std::string> backup;
  overrideDNS(tools.dir().file("absent"), "10.8.0.1", backup);
  EXPECT_TRUE(backup.empty());
}

TEST(OverrideDNS, RecordsEachBackupBeforeChangingThatService) {
  FakeTools tools;
  listTwoServices(tools);
  tools.onPrefix("networksetup", {"-getdnsservers"}, "9.9.9.9\n");
  std::map<std::string, std::string> backup;
  std::vector<std::size_t> backupSizes;
  std::vector<std::size_t> setsBefore;
  overrideDNS(tools.networksetupPath(), "10.8.0.1", backup, [&] {
    backupSizes.push_back(backup.size());
    std::size_t sets = 0;
    for (const auto& call : tools.callsOf("networksetup")) sets += call.front() == "-setdnsservers";
    setsBefore.push_back(sets);
  });
  EXPECT_EQ(backupSizes, (std::vector<std::size_t>{1, 2}));
  EXPECT_EQ(setsBefore, (std::vector<std::size_t>{0, 1}));
}

TEST(RestoreDNS, PutsBackEachKindOfBackupAndEmptiesTheMap) {
  FakeTools tools;
  std::map<std::string, std::string> backup = {
      {"Wi-Fi", "192.168.1.2\n192.168.1.1"},
      {kTrickyService, "empty"},
      {"Ethernet", ""},
      {"USB LAN", "Empty"},
  };
  restoreDNS(tools.networksetupPath(), backup);
  // The map is ordered by name, so is the restore.
  EXPECT_EQ(tools.callsOf("networksetup"),
            (Calls{{"-setdnsservers", "Ethernet"},
                   {"-setdnsservers", kTrickyService, "Empty"},
                   {"-setdnsservers", "USB LAN", "Empty"},
                   {"-setdnsservers", "Wi-Fi", "192.168.1.2", "192.168.1.1"}}));
  EXPECT_TRUE(backup.empty());
}

TEST(RestoreDNS, EmptiesTheMapEvenWhenEveryRunFails) {
  FakeTools tools;
  std::map<std::string, std::string> backup = {{"Wi-Fi", "8.8.8.8"}};
  restoreDNS(tools.dir().file("absent"), backup);
  EXPECT_TRUE(backup.empty());

  restoreDNS(tools.networksetupPath(), backup);
  EXPECT_TRUE(tools.calls().empty()) << "an empty backup runs no tool";
}

TEST(DNS, OverrideThenRestoreRoundTrip) {
  FakeTools tools;
  listTwoServices(tools);
  tools.on("networksetup", {"-getdnsservers", "Wi-Fi"}, "8.8.4.4\n8.8.8.8\n")
      .on("networksetup", {"-getdnsservers", kTrickyService}, "There aren't any DNS Servers.\n");
  std::map<std::string, std::string> backup;
  overrideDNS(tools.networksetupPath(), "10.8.0.1", backup);
  tools.clearCalls();
  restoreDNS(tools.networksetupPath(), backup);
  EXPECT_EQ(tools.callsOf("networksetup"),
            (Calls{{"-setdnsservers", kTrickyService, "Empty"},
                   {"-setdnsservers", "Wi-Fi", "8.8.4.4", "8.8.8.8"}}));
}

TEST(HostSettings, ServiceFieldsRecordAndForgetWhatWasChanged) {
  FakeTools tools;
  tools.simulateServices({{"Wi-Fi", {}}, {"Off", {}, "Automatic", false}});
  std::map<std::string, std::string> dnsBackup;
  std::vector<std::string> ipv6Disabled;

  overrideDNS(tools.networksetupPath(), "10.8.0.1", dnsBackup);
  disableIPv6(tools.networksetupPath(), ipv6Disabled);
  EXPECT_EQ(dnsBackup, (std::map<std::string, std::string>{{"Wi-Fi", "empty"}}));
  EXPECT_EQ(ipv6Disabled, std::vector<std::string>{"Wi-Fi"});

  tools.clearCalls();
  restoreDNS(tools.networksetupPath(), dnsBackup);
  restoreIPv6(tools.networksetupPath(), ipv6Disabled);
  EXPECT_EQ(tools.callsOf("networksetup"),
            (Calls{{"-setdnsservers", "Wi-Fi", "Empty"}, {"-setv6automatic", "Wi-Fi"}}));
  EXPECT_TRUE(dnsBackup.empty());
  EXPECT_TRUE(ipv6Disabled.empty());
}

}  // namespace
}  // namespace zorvik
