#include "base/unix_address.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace zorvik {
namespace {

TEST(UnixSocketAddress, TakesOnlyPathsThatFitWhole) {
  const std::size_t field = sizeof(sockaddr_un{}.sun_path);
  const std::string longest = "/" + std::string(field - 2, 'a');

  const auto fits = unixSocketAddress(longest);
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->address.sun_family, AF_UNIX);
  EXPECT_EQ(std::strncmp(fits->address.sun_path, longest.c_str(), field), 0);

  for (const std::string& refused :
       {longest + "a", std::string(), std::string("/run/a\0b.sock", 13)}) {
    EXPECT_FALSE(unixSocketAddress(refused)) << "path of " << refused.size() << " bytes";
  }
}

}  // namespace
}  // namespace zorvik
