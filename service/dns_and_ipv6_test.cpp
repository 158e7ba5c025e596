#include <gtest/gtest.h>

#include "service/helper_service.h"
#include "testing/fake_tools.h"
#include "testing/helper_service_access.h"

namespace zorvik {
namespace {

using test_support::FakeTools;
using Calls = std::vector<std::vector<std::string>>;

TEST(HostSettings, ServiceFieldsRecordAndForgetWhatWasChanged) {
  FakeTools tools;
  tools.simulateServices({{"Wi-Fi", {}}, {"Off", {}, "Automatic", false}});
  HelperSettings settings;
  tools.applyTo(settings);
  auto service = std::make_shared<HelperService>(settings);
  test_support::HelperServiceAccess inside(*service);

  inside.overrideDNS("10.8.0.1");
  inside.disableIPv6();
  EXPECT_EQ(inside.dnsBackup(), (std::map<std::string, std::string>{{"Wi-Fi", "empty"}}));
  EXPECT_EQ(inside.ipv6Disabled(), std::vector<std::string>{"Wi-Fi"});

  tools.clearCalls();
  inside.restoreDNS();
  inside.restoreIPv6();
  EXPECT_EQ(tools.callsOf("networksetup"),
            (Calls{{"-setdnsservers", "Wi-Fi", "Empty"}, {"-setv6automatic", "Wi-Fi"}}));
  EXPECT_TRUE(inside.dnsBackup().empty());
  EXPECT_TRUE(inside.ipv6Disabled().empty());
}

}  // namespace
}  // namespace zorvik
