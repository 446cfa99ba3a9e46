// The service's TLS, as openssl s_client sees it: TLS 1.2 and 1.3 only,
// forward-secret AEAD suites only, the server's order of preference, and
// Strict-Transport-Security on every HTTPS reply.
#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdio>
#include <regex>

#include "server_process.h"

namespace nuve::test {
namespace {

class TlsPolicy : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nuve-tls.XXXXXX").string();
    folder_ = new std::filesystem::path(mkdtemp(pattern.data()));
    const auto cert = *folder_ / "cert.pem";
    const auto key = *folder_ / "key.pem";
    const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                             "-addext subjectAltName=IP:127.0.0.1 -keyout " + key.string() + " -out " +
                             cert.string() + " 2>/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    server_ = new ServerProcess({"--data", folder_->string(), "--tls-cert", cert.string(), "--tls-key", key.string()});
  }
  static void TearDownTestSuite() {
    delete server_;
    std::filesystem::remove_all(*folder_);
    delete folder_;
  }

  // What s_client negotiated with `options`: "TLSv1.2 ECDHE-RSA-AES256-GCM-SHA384",
  // or "" when the handshake failed.
  static std::string Negotiated(const std::string& options) {
    const std::string command = "openssl s_client -connect 127.0.0.1:" + std::to_string(server_->port()) + " " +
                                options + " </dev/null 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    while (pipe != nullptr && std::fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
    if (pipe != nullptr) pclose(pipe);
    std::smatch m;
    if (!std::regex_search(out, m, std::regex(R"(New, (TLSv[0-9.]+), Cipher is (\S+))")) || m[2] == "(NONE)") {
      return {};
    }
    return m[1].str() + " " + m[2].str();
  }

  static std::filesystem::path* folder_;
  static ServerProcess* server_;
};

std::filesystem::path* TlsPolicy::folder_ = nullptr;
ServerProcess* TlsPolicy::server_ = nullptr;

TEST_F(TlsPolicy, OnlyTls12And13WithForwardSecretAeadSuitesInTheServersOrder) {
  // Old protocols, even when the client would take anything.
  EXPECT_EQ(Negotiated("-tls1_1 -cipher DEFAULT@SECLEVEL=0"), "");
  EXPECT_EQ(Negotiated("-tls1 -cipher DEFAULT@SECLEVEL=0"), "");
  // TLS 1.2 without forward secrecy, or with CBC.
  EXPECT_EQ(Negotiated("-tls1_2 -cipher AES128-GCM-SHA256:AES256-GCM-SHA384"), "");
  EXPECT_EQ(Negotiated("-tls1_2 -cipher ECDHE-RSA-AES128-SHA:ECDHE-RSA-AES256-SHA384:AES128-SHA"), "");
  // The client prefers AES-128; the server's order wins.
  EXPECT_EQ(Negotiated("-tls1_2 -cipher ECDHE-RSA-AES128-GCM-SHA256:ECDHE-RSA-AES256-GCM-SHA384"),
            "TLSv1.2 ECDHE-RSA-AES256-GCM-SHA384");
  EXPECT_EQ(Negotiated("-tls1_2 -cipher ECDHE-RSA-CHACHA20-POLY1305"), "TLSv1.2 ECDHE-RSA-CHACHA20-POLY1305");
  EXPECT_EQ(Negotiated("-tls1_3 -ciphersuites TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384"),
            "TLSv1.3 TLS_AES_256_GCM_SHA384");
}

TEST_F(TlsPolicy, EveryHttpsReplyCarriesStrictTransportSecurity) {
  httplib::SSLClient secure("127.0.0.1", server_->port());
  secure.enable_server_certificate_verification(false);
  for (const std::string path : {"/healthz", "/", "/no-such-page"}) {
    const auto reply = secure.Get(path);
    ASSERT_TRUE(reply) << path;
    EXPECT_EQ(reply->get_header_value("Strict-Transport-Security"), "max-age=31536000") << path;
  }
  const auto api = secure.Post("/api/comm/keep.e", "token=x", "application/x-www-form-urlencoded");
  ASSERT_TRUE(api);
  EXPECT_EQ(api->get_header_value("Strict-Transport-Security"), "max-age=31536000");
}

}  // namespace
}  // namespace nuve::test
