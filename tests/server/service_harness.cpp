#include "service_harness.h"

#include <stdlib.h>

#include <algorithm>
#include <limits>

#include "server/api/service_deps.h"
#include "server/store/postgres/pg_store.h"
#include "server/store/sqlite/sqlite_store.h"
#include "server_process.h"

namespace nuve::test {

bool RecordingMailer::Send(const server::MailMessage& message) {
  if (failing) return false;
  std::lock_guard lock(mutex_);
  sent_.push_back(message);
  return true;
}

std::string RecordingMailer::LastTo(const std::string& address) const {
  std::lock_guard lock(mutex_);
  for (auto it = sent_.rbegin(); it != sent_.rend(); ++it) {
    if (it->to == address) return it->text;
  }
  return {};
}

int RecordingMailer::CountTo(const std::string& address) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(sent_.begin(), sent_.end(), [&](const auto& m) { return m.to == address; }));
}

std::string BackendName(const testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kSqlite ? "Sqlite" : "Postgres";
}

std::unique_ptr<ServiceHarness> ServiceHarness::Create(Backend backend, const server::SqliteOptions& sqlite) {
  std::unique_ptr<ServiceHarness> h(new ServiceHarness());
  if (backend == Backend::kPostgres) {
    h->database_ = TestDatabase::Create();
    if (!h->database_) return nullptr;
    h->store_ = server::PgStore::Open(h->database_->url());
  } else {
    std::string pattern = (std::filesystem::temp_directory_path() / "nuve-service.XXXXXX").string();
    h->folder = mkdtemp(pattern.data());
    h->store_ = server::SqliteStore::Open(h->folder / "accounts.db", sqlite);
  }
  h->hasher_ = std::make_unique<server::PasswordHasher>(server::HashStrength::kLight, 4);
  h->Build();
  return h;
}

void ServiceHarness::Build() {
  renewer_ = std::make_unique<server::SessionRenewer>(*store_);
  storage_.emplace(std::filesystem::path(), 0);
  deps_ = std::make_unique<server::ServiceDeps>(
      server::ServiceDeps{*store_, *hasher_, mailer, clock, config_, *renewer_, *storage_});
  routes_ = std::make_unique<server::ApiRoutes>(*deps_);
  reset_page_ = std::make_unique<server::ResetPage>(*deps_);
  email_page_ = std::make_unique<server::EmailChangePage>(*deps_);
}

ServiceHarness::~ServiceHarness() {
  email_page_.reset();
  reset_page_.reset();
  routes_.reset();
  store_.reset();
  if (!folder.empty()) std::filesystem::remove_all(folder);
}

void ServiceHarness::SetStorageLow(bool low) {
  // Every disk has less free space than the largest number.
  if (low) {
    storage_.emplace(std::filesystem::temp_directory_path(), std::numeric_limits<std::int64_t>::max());
  } else {
    storage_.emplace(std::filesystem::path(), 0);
  }
}

nlohmann::json ServiceHarness::Call(const std::string& path, const Fields& fields, const Fields& files) {
  server::ApiRequest request;
  request.client_address = client_address;
  for (const auto& [name, value] : fields) request.fields.emplace(name, value);
  for (const auto& [name, value] : files) {
    request.fields.emplace(name, value);
    request.filenames.emplace(name, "img");
  }
  return nlohmann::json::parse(routes_->Handle(path, request).body);
}

nlohmann::json ServiceHarness::Upload(const std::string& token, const std::string& bytes) {
  server::ApiRequest request;
  request.fields.emplace("img", bytes);
  request.filenames.emplace("img", "Tavrine_IMG_" + token + "_Tavrine.file");
  return nlohmann::json::parse(routes_->Handle("/api/upload/img.e", request).body);
}

nlohmann::json ServiceHarness::Register(const std::string& account, const std::string& password,
                                        const std::string& email, const Fields& extra) {
  const auto sent = Call("/api/sendRegCodeByEmail.e", {{"email", email}, {"appKey", server::kDefaultAppKey}});
  if (sent["result"] != true) return sent;
  Fields fields = {{"account", account}, {"password", password}, {"appKey", server::kDefaultAppKey},
                   {"email", email}, {"code", CodeInMail(mailer.LastTo(email))}};
  for (const auto& [name, value] : extra) fields[name] = value;
  return Call("/api/register.e", fields);
}

std::string ServiceHarness::Login(const std::string& account, const std::string& password) {
  const auto reply = Call("/api/login.e", {{"account", account}, {"password", password},
                                           {"appKey", server::kDefaultAppKey}, {"loginKey", ""}});
  return reply["result"] == true ? reply["responseBody"].get<std::string>() : "";
}

}  // namespace nuve::test
