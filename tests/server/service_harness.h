#pragma once
// The service's endpoints called directly, without HTTP, on a real store
// (SQLite in a temporary folder, or a fresh PostgreSQL database), with a
// clock the test moves and a mailer that keeps what it sends.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "server/api/api_routes.h"
#include "server/api/clock.h"
#include "server/api/email_change_page.h"
#include "server/api/reset_page.h"
#include "server/mail/mailer.h"
#include "server/store/sqlite/sqlite_connection.h"
#include "test_postgres.h"

namespace nuve::test {

class ManualClock final : public server::Clock {
 public:
  std::int64_t NowMs() const override { return now_; }
  void Advance(std::int64_t ms) { now_ += ms; }

 private:
  std::atomic<std::int64_t> now_{1'700'000'000'000};
};

class RecordingMailer final : public server::Mailer {
 public:
  bool Send(const server::MailMessage& message) override;
  bool DevelopmentMode() const override { return false; }
  // The text of the last mail to `address`; "".
  std::string LastTo(const std::string& address) const;
  // How many mails went to `address`.
  int CountTo(const std::string& address) const;
  std::atomic<bool> failing{false};

 private:
  mutable std::mutex mutex_;
  std::vector<server::MailMessage> sent_;
};

enum class Backend { kSqlite, kPostgres };

class ServiceHarness {
 public:
  // nullptr when the backend is not available (PostgreSQL outside CTest).
  static std::unique_ptr<ServiceHarness> Create(Backend backend, const server::SqliteOptions& sqlite = {});
  ~ServiceHarness();

  using Fields = std::map<std::string, std::string>;
  // One request; the reply's envelope.
  nlohmann::json Call(const std::string& path, const Fields& fields, const Fields& files = {});
  // An avatar upload as the browser names it.
  nlohmann::json Upload(const std::string& token, const std::string& bytes);
  // Mails a code to `email` and registers with it; the reply.
  nlohmann::json Register(const std::string& account, const std::string& password, const std::string& email,
                          const Fields& extra = {});
  // The token of a login; "" when refused.
  std::string Login(const std::string& account, const std::string& password);

  server::Store& store() { return *store_; }
  server::ServiceConfig& config() { return config_; }
  server::ResetPage& reset_page() { return *reset_page_; }
  server::EmailChangePage& email_page() { return *email_page_; }
  ManualClock clock;
  // Plays a disk below its free-space reserve (or not).
  void SetStorageLow(bool low);
  RecordingMailer mailer;
  // The client address every request comes from.
  std::string client_address = "192.0.2.7";
  std::filesystem::path folder;

 private:
  ServiceHarness() = default;
  void Build();

  std::unique_ptr<TestDatabase> database_;
  std::unique_ptr<server::Store> store_;
  std::unique_ptr<server::PasswordHasher> hasher_;
  server::ServiceConfig config_;
  std::unique_ptr<server::SessionRenewer> renewer_;
  // Replaced in place: the handlers refer to it.
  std::optional<server::StorageReserve> storage_;
  std::unique_ptr<server::ServiceDeps> deps_;
  std::unique_ptr<server::ApiRoutes> routes_;
  std::unique_ptr<server::ResetPage> reset_page_;
  std::unique_ptr<server::EmailChangePage> email_page_;
};

// gtest's name for a backend parameter.
std::string BackendName(const testing::TestParamInfo<Backend>& info);

}  // namespace nuve::test
