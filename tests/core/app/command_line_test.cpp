#include "core/app/command_line.h"

#include <gtest/gtest.h>

#include "support/temp_home.h"

namespace nuve::core {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, NoArgumentsBrowsesWithoutProxy) {
  const StartRequest r = ParseCommandLine({});
  EXPECT_EQ(r.action, StartRequest::Action::kBrowse);
  EXPECT_TRUE(r.address.empty());
  EXPECT_TRUE(r.proxy_host.empty());
  EXPECT_TRUE(r.problem.empty());
}

TEST(CommandLine, AddressBeginningWithHttpInAnyCaseIsAPage) {
  for (const std::string address : {"http://a.test/", "https://a.test/x", "HTTP://A.TEST/", "Https://b"}) {
    const StartRequest r = ParseCommandLine({address});
    EXPECT_EQ(r.address, address);
    EXPECT_TRUE(r.proxy_host.empty()) << address;
    EXPECT_TRUE(r.problem.empty()) << address;
  }
}

TEST(CommandLine, ProxyThenAddress) {
  const StartRequest r = ParseCommandLine({"10.0.0.1:808", "http://example.test/"});
  EXPECT_EQ(r.proxy_host, "10.0.0.1");
  EXPECT_EQ(r.proxy_port, "808");
  EXPECT_EQ(r.address, "http://example.test/");
  EXPECT_TRUE(r.problem.empty());
}

TEST(CommandLine, MalformedArgumentsAreRefusedSoNobodyBrowsesWithoutTheProxyTheyAskedFor) {
  const Args bad[] = {
      {"10.0.0.1", "http://a.test/"},    // no port
      {"10.0.0.1:", "http://a.test/"},   // empty port
      {"10.0.0.1:80x", "http://a.test/"},
      {"10.0.0.1:70000", "http://a.test/"},
      {":808", "http://a.test/"},        // no host
      {"www.example.test"},              // neither address nor proxy
      {"/no/such/file.html"},
  };
  for (const Args& args : bad) {
    const StartRequest r = ParseCommandLine(args);
    EXPECT_EQ(r.action, StartRequest::Action::kRefuse) << args[0];
    EXPECT_FALSE(r.problem.empty()) << args[0];
    EXPECT_EQ(r.problem.find('\n'), std::string::npos) << "one line only";
    EXPECT_NE(r.problem.find(args[0]), std::string::npos) << "the line names the argument";
  }
}

TEST(CommandLine, AProxyWithoutAnAddressStillAppliesTheProxy) {
  for (const Args& args : {Args{"10.0.0.1:808"}, Args{"10.0.0.1:808", ""}}) {
    const StartRequest r = ParseCommandLine(args);
    EXPECT_EQ(r.action, StartRequest::Action::kBrowse);
    EXPECT_EQ(r.proxy_host, "10.0.0.1");
    EXPECT_EQ(r.proxy_port, "808");
    EXPECT_TRUE(r.address.empty()) << "the usual first page opens";
  }
}

TEST(CommandLine, LocalFilesOpenAsFileAddresses) {
  test::TempHome home(false);
  const auto page = home.path() / "页面.html";
  test::WriteFileBytes(page, "<title>x</title>");
  const StartRequest r = ParseCommandLine({page.string()});
  EXPECT_EQ(r.action, StartRequest::Action::kBrowse);
  EXPECT_EQ(r.address.rfind("file:///", 0), 0u) << r.address;
  EXPECT_NE(r.address.find("%E9%A1%B5%E9%9D%A2.html"), std::string::npos) << r.address;
  EXPECT_EQ(ParseCommandLine({"FILE:///tmp/x.html"}).address, "FILE:///tmp/x.html");
}

TEST(CommandLine, HelpAndVersion) {
  EXPECT_EQ(ParseCommandLine({"--help"}).action, StartRequest::Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}).action, StartRequest::Action::kVersion);
  EXPECT_NE(UsageText().find("PROXY-HOST:PORT"), std::string::npos);
}

}  // namespace
}  // namespace nuve::core
