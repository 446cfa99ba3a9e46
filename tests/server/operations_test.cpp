// Running the service for real: TLS, the refusal of clear text on a public
// address, the version channel the browser's lookup reads, the operators'
// commands with a backup while serving, a corrupt database, and mail through
// a real SMTP server on 127.0.0.1 (and one that is down).
#include <glib.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <fstream>

#include "browser_client.h"
#include "core/app/version_lookup.h"
#include "server_process.h"

namespace nuve::test {
namespace {

class Operations : public testing::Test {
 protected:
  Operations() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nuve-ops.XXXXXX").string();
    data_ = mkdtemp(pattern.data());
  }
  ~Operations() override { std::filesystem::remove_all(data_); }
  CommandResult Admin(std::vector<std::string> words, const std::string& input = "") {
    words.insert(words.begin(), {"--data", data_.string(), "--password-hash", "light"});
    return RunServerCommand(words, input);
  }
  std::filesystem::path data_;
};

TEST_F(Operations, ClearTextOnAPublicAddressIsRefusedAndTlsServes) {
  const CommandResult refused = RunServerCommand({"--listen", "0.0.0.0:0", "--data", data_.string()});
  EXPECT_EQ(refused.code, 2);
  EXPECT_NE(refused.err.find("without TLS"), std::string::npos) << refused.err;

  const auto cert = data_ / "cert.pem";
  const auto key = data_ / "key.pem";
  const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                           "-addext subjectAltName=IP:127.0.0.1 -keyout " + key.string() + " -out " +
                           cert.string() + " 2>/dev/null";
  ASSERT_EQ(std::system(make.c_str()), 0);
  ServerProcess tls({"--data", data_.string(), "--tls-cert", cert.string(), "--tls-key", key.string()});
  EXPECT_NE(tls.Log().find("listening on https://127.0.0.1:"), std::string::npos);
  httplib::SSLClient secure("127.0.0.1", tls.port());
  secure.set_ca_cert_path(cert.c_str());
  secure.enable_server_certificate_verification(true);
  const auto reply = secure.Post("/api/comm/keep.e", "token=" + std::string(64, 'a'), "application/x-www-form-urlencoded");
  ASSERT_TRUE(reply) << httplib::to_string(reply.error());
  EXPECT_NE(reply->body.find("\"code\":2"), std::string::npos);
  httplib::Client clear("127.0.0.1", tls.port());
  clear.set_read_timeout(2);
  const auto plain = clear.Post("/api/comm/keep.e", "token=x", "application/x-www-form-urlencoded");
  EXPECT_TRUE(!plain || plain->body.find("\"code\"") == std::string::npos);

  const CommandResult wrong_key = RunServerCommand({"--listen", "127.0.0.1:0", "--data", data_.string(), "--tls-cert",
                                                    cert.string(), "--tls-key", cert.string()});
  EXPECT_EQ(wrong_key.code, 1);
  EXPECT_NE(wrong_key.err.find("cannot use the TLS certificate"), std::string::npos) << wrong_key.err;
}

TEST_F(Operations, TheVersionChannelAnswersTheBrowsersLookup) {
  ServerProcess server({"--data", data_.string(), "--version-key", "42424242", "--published-version", "beta M1.3.10"});
  core::Config config;
  config.version_source = server.url();
  config.version_key = "42424242";
  EXPECT_EQ(core::LatestVersionLookup(config), "beta M1.3.10");
  ASSERT_EQ(Admin({"--version-key", "42424242", "version", "set", "beta M1.4.00"}).code, 0);
  EXPECT_EQ(core::LatestVersionLookup(config), "beta M1.4.00") << "the operator's label wins at once";
  EXPECT_EQ(Admin({"version", "set", "beta \"M2\""}).code, 1);
  config.version_key = "7";
  EXPECT_EQ(core::LatestVersionLookup(config), "") << "another key has no label here";
}

TEST_F(Operations, OperatorsManageAccountsAndBackUpWhileServing) {
  ServerProcess server({"--data", data_.string()});
  EXPECT_EQ(Admin({"user", "add", "12345678", "op@example.com", "--name", "王芳"}, "secret-1\n").code, 0);
  EXPECT_EQ(Admin({"user", "add", "12345678", "op@example.com"}, "secret-1\n").code, 1) << "exists already";
  EXPECT_EQ(Admin({"user", "add", "123", "op@example.com"}, "secret-1\n").code, 1);
  BrowserClient b(server.host());
  ASSERT_TRUE(b.client.Login("12345678", "secret-1").IsSuccess());
  EXPECT_EQ(b.client.GetInfo().ToUserInfo().Email(), "op@example.com");

  EXPECT_EQ(Admin({"user", "reset-password", "12345678"}, "secret-2\n").code, 0);
  EXPECT_FALSE(b.client.KeepAlive()) << "the account's sessions end";
  EXPECT_FALSE(b.client.Login("12345678", "secret-1").IsSuccess());
  EXPECT_TRUE(b.client.Login("12345678", "secret-2").IsSuccess());
  EXPECT_NE(Admin({"user", "list"}).out.find("12345678\top@example.com\tnormal"), std::string::npos);

  ASSERT_EQ(Admin({"announce", "add", "公告"}, "第一行\n第二行\n").code, 0);
  const CommandResult listed = Admin({"announce", "list"});
  EXPECT_NE(listed.out.find("公告"), std::string::npos);
  EXPECT_EQ(Admin({"announce", "remove", listed.out.substr(0, listed.out.find('\t'))}).code, 0);
  EXPECT_EQ(Admin({"announce", "remove", "999"}).code, 1);
  EXPECT_EQ(Admin({"user", "frobnicate"}).code, 2);

  const auto copy = data_ / "backup.db";
  const CommandResult backup = Admin({"backup", copy.string()});
  ASSERT_EQ(backup.code, 0) << backup.err;
  EXPECT_EQ(std::filesystem::status(copy).permissions() & std::filesystem::perms::others_read,
            std::filesystem::perms::none);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(copy.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  sqlite3_prepare_v2(db, "SELECT count(*) FROM users WHERE account = '12345678'", -1, &count, nullptr);
  ASSERT_EQ(sqlite3_step(count), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(count, 0), 1);
  sqlite3_finalize(count);
  sqlite3_close(db);
}

TEST_F(Operations, ACorruptDatabaseStopsTheStartWithAReason) {
  std::ofstream(data_ / "accounts.db", std::ios::binary) << std::string(8192, '\x5C');
  const CommandResult serve = RunServerCommand({"--listen", "127.0.0.1:0", "--data", data_.string()});
  EXPECT_EQ(serve.code, 1);
  EXPECT_NE(serve.err.find("cannot open the database"), std::string::npos) << serve.err;
  EXPECT_EQ(Admin({"user", "list"}).code, 1);
  EXPECT_EQ(RunServerCommand({"--threads", "many"}).code, 2);
  const CommandResult help = RunServerCommand({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("--smtp URL"), std::string::npos);
}

// The text of the one mail in a maildir, its base64 body decoded.
std::string DeliveredText(const std::filesystem::path& maildir) {
  for (const auto& entry : std::filesystem::directory_iterator(maildir / "new")) {
    std::ifstream in(entry.path());
    const std::string raw((std::istreambuf_iterator<char>(in)), {});
    std::string body = raw.substr(raw.find("\n\n") + 2);
    gsize size = 0;
    guchar* bytes = g_base64_decode(body.c_str(), &size);
    std::string text(reinterpret_cast<char*>(bytes), size);
    g_free(bytes);
    return text;
  }
  return {};
}

TEST_F(Operations, CodesTravelThroughARealSmtpServer) {
  const int smtp_port = FreeLoopbackPort();
  const auto maildir = data_ / "mail";
  ChildProcess smtp({"/usr/bin/python3", "-m", "aiosmtpd", "-n", "-l", "127.0.0.1:" + std::to_string(smtp_port), "-c",
                     "aiosmtpd.handlers.Mailbox", maildir.string()});
  ASSERT_TRUE(WaitUntil([&] { return Listening(smtp_port); }, std::chrono::seconds(20))) << "aiosmtpd did not start";
  ServerProcess server({"--data", data_.string(), "--smtp", "smtp://127.0.0.1:" + std::to_string(smtp_port),
                        "--mail-from", "nuve@example.com"});
  EXPECT_EQ(server.Log().find("development mode"), std::string::npos);
  BrowserClient b(server.host());
  ASSERT_TRUE(b.client.SendRegisterCodeMail("smtp@example.com").IsSuccess());
  std::string text;
  ASSERT_TRUE(WaitUntil([&] { return !(text = DeliveredText(maildir)).empty(); }, std::chrono::seconds(10)));
  core::RegisterFields fields;
  fields.email = "smtp@example.com";
  fields.code = CodeInMail(text);
  ASSERT_EQ(fields.code->size(), 4u) << text;
  EXPECT_EQ(server.Log().find(*fields.code), std::string::npos) << "no code in the log outside development mode";
  EXPECT_TRUE(b.client.Register("23456789", "secret-1", fields).IsSuccess());
}

TEST_F(Operations, AnSmtpServerThatIsDownCostsTheUserNoWaiting) {
  ServerProcess server({"--data", data_.string(), "--smtp", "smtp://127.0.0.1:" + std::to_string(FreeLoopbackPort())});
  BrowserClient b(server.host());
  EXPECT_EQ(b.client.SendRegisterCodeMail("down@example.com").Message(), "邮件发送失败，请稍后再试");
  EXPECT_EQ(b.client.SendRegisterCodeMail("down@example.com").Message(), "邮件发送失败，请稍后再试")
      << "not 发送过于频繁: the failed mail gave its place back";
  EXPECT_TRUE(b.client.ListAnnouncements().IsSuccess());
}

}  // namespace
}  // namespace nuve::test
