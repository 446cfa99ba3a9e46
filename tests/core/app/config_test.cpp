#include "core/app/config.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace nuve::core {
namespace {

// Runs with every NUVE_* address variable unset, and restores none of them
// (no test of this binary sets them).
class ConfigTest : public ::testing::Test {
 protected:
  ConfigTest() {
    for (const char* name : {"NUVE_SERVICE_HOST", "NUVE_VERSION_SOURCE", "NUVE_VERSION_KEY", "NUVE_DOWNLOAD_PAGE",
                             "NUVE_RECOVERY_CONTACT", "NUVE_PORTAL_A", "NUVE_PORTAL_B", "NUVE_SEARCH_ENGINE"}) {
      unsetenv(name);
    }
  }
  ~ConfigTest() override { unsetenv("NUVE_SERVICE_HOST"); }
};

TEST_F(ConfigTest, TheBuiltInAddressesContactNothingOutsideThisMachine) {
  const Config c = Config::FromEnvironment();
  EXPECT_EQ(c.service_host, "127.0.0.1:8808");
  EXPECT_EQ(c.version_source, "http://127.0.0.1:8808");
  EXPECT_EQ(c.download_page, "http://127.0.0.1:8808/download");
  EXPECT_FALSE(c.version_key.empty());
  EXPECT_EQ(c.version_key.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(c.recovery_contact, "");
  EXPECT_EQ(c.portal_a, "nuve://start");
}

TEST_F(ConfigTest, DerivedAddressesFollowTheServiceGivenAtRunTime) {
  setenv("NUVE_SERVICE_HOST", "https://Accounts.example:8443/", 1);
  Config c = Config::FromEnvironment();
  EXPECT_EQ(c.version_source, "https://Accounts.example:8443");
  EXPECT_EQ(c.download_page, "https://Accounts.example:8443/download");
  setenv("NUVE_VERSION_SOURCE", "http://127.0.0.1:1", 1);
  c = Config::FromEnvironment();
  EXPECT_EQ(c.version_source, "http://127.0.0.1:1") << "an explicit source wins";
  unsetenv("NUVE_VERSION_SOURCE");
}

}  // namespace
}  // namespace nuve::core
