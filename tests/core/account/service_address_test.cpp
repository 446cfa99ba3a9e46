#include "core/account/service_address.h"

#include <gtest/gtest.h>

namespace nuve::core {
namespace {

TEST(ServiceAddressTest, SchemesHostsAndWhetherPasswordsTravelInClear) {
  const ServiceAddress plain("127.0.0.1:8808");
  EXPECT_EQ(plain.BaseUrl(), "http://127.0.0.1:8808");
  EXPECT_FALSE(plain.SendsInClear());
  const ServiceAddress tls(" HTTPS://Acc.Example:8443/api ");
  EXPECT_TRUE(tls.tls());
  EXPECT_EQ(tls.BaseUrl(), "https://Acc.Example:8443");
  EXPECT_EQ(tls.Host(), "acc.example");
  EXPECT_FALSE(tls.SendsInClear());
  EXPECT_TRUE(ServiceAddress("http://10.1.2.3").SendsInClear());
  EXPECT_TRUE(ServiceAddress("127.example.com").SendsInClear()) << "a name that only starts like loopback";
  EXPECT_FALSE(ServiceAddress("LOCALHOST:1").SendsInClear());
  EXPECT_FALSE(ServiceAddress("[::1]:8808").SendsInClear());
  EXPECT_TRUE(ServiceAddress("[2001:db8::1]:8808").SendsInClear());
}

}  // namespace
}  // namespace nuve::core
