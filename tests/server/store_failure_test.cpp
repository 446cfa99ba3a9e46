// A database that is full, locked or gone: the request gets a refusal in the
// envelope, nothing half-written stays behind, and the service goes on
// serving once the database is back.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "server/api/image_check.h"
#include "server/security/security_policy.h"
#include "server_process.h"
#include "service_harness.h"

namespace nuve::test {
namespace {

using server::kDefaultAppKey;

std::string Gif(std::size_t size) {
  std::string bytes = "GIF89a";
  bytes.resize(size, '\x5A');
  return bytes;
}

TEST(StoreFailure, AFullDiskKeepsNoHalfAccountOrImage) {
  server::SqliteOptions tiny;
  tiny.max_page_count = 160;  // about 640 KiB
  auto h = ServiceHarness::Create(Backend::kSqlite, tiny);
  ASSERT_EQ(h->Call("/api/sendRegCodeByEmail.e", {{"email", "k@example.com"}, {"appKey", kDefaultAppKey}})["result"],
            true);
  const std::string code = CodeInMail(h->mailer.LastTo("k@example.com"));
  ServiceHarness::Fields fields = {{"account", "12345678"}, {"password", "secret1"}, {"appKey", kDefaultAppKey},
                                   {"email", "k@example.com"}, {"code", code}};
  const auto full = h->Call("/api/register.e", fields, {{"headImg", Gif(1500 * 1024)}});
  EXPECT_EQ(full["message"], "服务器存储空间不足，请稍后再试");
  EXPECT_FALSE(h->store().Read([](server::Tx& tx) { return tx.FindUserByAccount("12345678"); }));
  EXPECT_FALSE(h->store().Read([&](server::Tx& tx) { return tx.FindImage(server::Md5Hex(Gif(1500 * 1024))); }));

  EXPECT_EQ(h->Call("/api/register.e", fields)["result"], true) << "the code's try was rolled back too";
  const std::string token = h->Login("12345678", "secret1");
  ASSERT_FALSE(token.empty());
  EXPECT_EQ(h->Upload(token, Gif(1500 * 1024))["message"], "服务器存储空间不足，请稍后再试");
  EXPECT_FALSE(h->store().Read([&](server::Tx& tx) { return tx.FindImage(server::Md5Hex(Gif(1500 * 1024))); }));
  EXPECT_EQ(h->Upload(token, Gif(2000))["result"], true);
  EXPECT_EQ(h->Call("/api/comm/keep.e", {{"token", token}})["result"], true);
}

TEST(StoreFailure, ALockedDatabaseAnswersBusyAndRecovers) {
  server::SqliteOptions impatient;
  impatient.busy_timeout_ms = 100;
  auto h = ServiceHarness::Create(Backend::kSqlite, impatient);
  ASSERT_EQ(h->Register("23456789", "secret1", "l@example.com")["result"], true);
  const std::string token = h->Login("23456789", "secret1");

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((h->folder / "accounts.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  const ServiceHarness::Fields write = {{"token", token}, {"key", "k"}, {"value", "v"}};
  const auto busy = h->Call("/api/setUserData.e", write);
  EXPECT_EQ(busy["message"], "服务繁忙，请稍后再试");
  EXPECT_EQ(busy["code"], 5);
  // A renewal due now cannot be written, and the session lives on.
  h->clock.Advance(2 * server::kMinuteMs);
  EXPECT_EQ(h->Call("/api/comm/keep.e", {{"token", token}})["result"], true);
  EXPECT_EQ(h->Call("/api/info.e", {{"token", token}})["result"], true);
  EXPECT_EQ(h->Call("/api/upload/getImg.e", {{"hash", std::string(32, '0')}})["message"], "图片不存在")
      << "reads go on while a writer holds the lock";
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(h->Call("/api/setUserData.e", write)["result"], true);
}

TEST(StoreFailure, AnUnreachablePostgresAnswersUnavailableAndReconnects) {
  auto h = ServiceHarness::Create(Backend::kPostgres);
  if (!h) GTEST_SKIP() << "no PostgreSQL cluster (run through ctest)";
  ASSERT_EQ(h->Register("34567890", "secret1", "m@example.com")["result"], true);
  const std::string token = h->Login("34567890", "secret1");
  const auto url = h->store().Describe();
  const std::string name = url.substr(url.rfind('/') + 1);
  ASSERT_TRUE(TestDatabase::ExecuteInCluster("ALTER DATABASE " + name + " ALLOW_CONNECTIONS false"));
  ASSERT_TRUE(TestDatabase::ExecuteInCluster(
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + name + "'"));
  const auto gone = h->Call("/api/comm/keep.e", {{"token", token}});
  EXPECT_EQ(gone["message"], "服务暂时不可用，请稍后再试");
  EXPECT_EQ(h->Call("/api/login.e", {{"account", "34567890"}, {"password", "secret1"}, {"appKey", kDefaultAppKey}})
                ["code"],
            5);
  ASSERT_TRUE(TestDatabase::ExecuteInCluster("ALTER DATABASE " + name + " ALLOW_CONNECTIONS true"));
  EXPECT_EQ(h->Call("/api/comm/keep.e", {{"token", token}})["result"], true);
}

}  // namespace
}  // namespace nuve::test
