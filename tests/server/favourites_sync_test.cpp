// The favourites sync end to end: two NUVE homes, each with its favourites
// folder, the browser's own AccountClient and sync, against the real
// nuve-account-server over SQLite and over PostgreSQL.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "browser_client.h"
#include "core/account/fake_password_store.h"
#include "core/favourites/url_file.h"
#include "core/sync/favourites_sync.h"
#include "core/sync/favourites_sync_service.h"
#include "core/sync/sync_crypto.h"
#include "core/util/task_runner.h"
#include "server_process.h"
#include "service_harness.h"
#include "support/queue_ui_poster.h"
#include "support/temp_home.h"
#include "test_postgres.h"

namespace nuve::test {
namespace {

using Tree = std::map<std::string, std::string>;  // relative path -> address ("/" for a folder)

// One NUVE home: its favourites folder, login and sync.
struct Home {
  Home(const std::string& host, const std::filesystem::path& dir)
      : browser(host),
        store(dir / "收藏夹"),
        sync(store, dir / "favourites-sync.json", browser.session, host, &keys, Cheap()) {}

  static core::SyncOptions Cheap() {
    core::SyncOptions options;
    options.kdf_ops = 1;
    options.kdf_mem = 8192;
    options.timeout_seconds = 20;
    return options;
  }

  // Logs in and unlocks the sync; the unlock's outcome.
  core::SyncResult LogIn(const std::string& account, const std::string& password) {
    if (!browser.client.Login(account, password).IsSuccess()) return core::SyncResult::kNotLoggedIn;
    return sync.Unlock(account, password).result;
  }
  core::SyncOutcome Sync() { return sync.Sync(); }

  void Add(const std::string& path, const std::string& address) {
    const auto file = store.folder() / (path + ".url");
    std::filesystem::create_directories(file.parent_path());
    WriteFileBytes(file, core::UrlFileContent(address));
  }
  void Folder(const std::string& path) { std::filesystem::create_directories(store.folder() / path); }
  void Move(const std::string& from, const std::string& to) {
    std::filesystem::rename(store.folder() / from, store.folder() / to);
  }
  void Remove(const std::string& path) { std::filesystem::remove_all(store.folder() / path); }

  // What the folder holds, as a file manager shows it.
  Tree Contents() const {
    Tree tree;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(store.folder(), ec);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
      const std::string rel = std::filesystem::relative(it->path(), store.folder()).string();
      if (it->is_directory()) {
        tree[rel] = "/";
      } else {
        tree[rel] = store.ReadAddress({"", it->path(), false});
      }
    }
    return tree;
  }

  BrowserClient browser;
  FakePasswordStore keys;
  core::FavouritesStore store;
  core::FavouritesSync sync;
};

// Between a home and the service: passes everything on, or spoils the
// answers of one endpoint as a broken or hostile network would.
class SpoilingProxy {
 public:
  enum class Spoil { kNone, kGarbage, kTruncated, kGatewayPage, kOtherBlob };

  explicit SpoilingProxy(int service_port) : service_port_(service_port) {
    // The library would split a multipart body itself; it is passed on as sent.
    server_.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
      const std::string type = req.get_header_value("Content-Type");
      if (type.starts_with("multipart/")) {
        auto& headers = const_cast<httplib::Request&>(req).headers;
        headers.erase("Content-Type");
        headers.emplace("Content-Type", "opaque/" + type);
      }
      return httplib::Server::HandlerResponse::Unhandled;
    });
    server_.Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
      httplib::Client service("127.0.0.1", service_port_);
      service.set_read_timeout(20);
      std::string type = req.get_header_value("Content-Type");
      if (type.starts_with("opaque/")) type = type.substr(7);
      const auto reply = service.Post(req.path, req.body, type);
      std::string body = reply ? reply->body : "";
      Spoil spoil;
      {
        std::lock_guard lock(mutex_);
        spoil = spoils_[req.path];
      }
      switch (spoil) {
        case Spoil::kGarbage: body = "\x1f\x8b garbage \xff\xfe"; break;
        case Spoil::kTruncated: body = body.substr(0, body.size() / 2); break;
        case Spoil::kGatewayPage:
          res.status = 502;
          body = "<html><body>502 Bad Gateway</body></html>";
          break;
        case Spoil::kOtherBlob: {
          auto doc = nlohmann::json::parse(body);
          if (doc["responseBody"].contains("blob") && doc["responseBody"]["blob"].is_string()) {
            doc["responseBody"]["blob"] = core::ToBase64(std::string(200, 'x'));
          }
          body = doc.dump();
          break;
        }
        case Spoil::kNone: break;
      }
      res.set_content(body, "application/json;charset=UTF-8");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~SpoilingProxy() {
    server_.stop();
    thread_.join();
  }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
  void Set(const std::string& path, Spoil spoil) {
    std::lock_guard lock(mutex_);
    spoils_[path] = spoil;
  }

 private:
  const int service_port_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, Spoil> spoils_;
};

class FavouritesSyncEndToEnd : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::kPostgres) {
      database_ = TestDatabase::Create();
      if (!database_) GTEST_SKIP() << "no PostgreSQL cluster (run through ctest)";
      storage_ = {"--database", database_->url()};
    } else {
      storage_ = {"--data", data_.path().string()};
    }
    server_ = std::make_unique<ServerProcess>(storage_);
    ASSERT_EQ(Admin({"user", "add", "12345678", "li@example.com"}, "secret-1\n").code, 0);
  }

  CommandResult Admin(std::vector<std::string> words, const std::string& input = "") {
    words.insert(words.begin(), storage_.begin(), storage_.end());
    words.insert(words.begin(), {"--password-hash", "light"});
    return RunServerCommand(words, input);
  }
  std::unique_ptr<Home> NewHome(const std::string& host = "") {
    homes_.push_back(std::make_unique<TempHome>(false));
    return std::make_unique<Home>(host.empty() ? server_->host() : host, homes_.back()->path());
  }
  // The service again on the port it had (a stopped one comes back).
  void Restart(int port) {
    std::vector<std::string> again = storage_;
    again.insert(again.end(), {"--listen", "127.0.0.1:" + std::to_string(port)});
    server_ = std::make_unique<ServerProcess>(again);
  }
  // Runs SQL on the service's database behind its back.
  void Sql(const std::string& sqlite, const std::string& postgres) {
    if (database_) {
      ASSERT_TRUE(database_->Execute(postgres)) << postgres;
      return;
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((data_.path() / "accounts.db").c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    char* error = nullptr;
    const int done = sqlite3_exec(db, sqlite.c_str(), nullptr, nullptr, &error);
    const std::string message = error != nullptr ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(done, SQLITE_OK) << message;
  }
  // Every byte the database keeps on disk.
  std::string DatabaseBytes() {
    std::vector<std::filesystem::path> roots;
    if (database_) {
      EXPECT_TRUE(TestDatabase::ExecuteInCluster("CHECKPOINT"));
      std::ifstream cluster(std::filesystem::path(std::getenv("NUVE_TEST_POSTGRES_URL_FILE")).parent_path() /
                            "cluster");
      std::string dir;
      std::getline(cluster, dir);
      roots.push_back(dir);
    } else {
      roots.push_back(data_.path());
    }
    std::string bytes;
    for (const auto& root : roots) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) bytes += ReadFileBytes(entry.path());
      }
    }
    return bytes;
  }

  TempHome data_{false};
  std::vector<std::unique_ptr<TempHome>> homes_;
  std::vector<std::string> storage_;
  std::unique_ptr<TestDatabase> database_;
  std::unique_ptr<ServerProcess> server_;
};

TEST_P(FavouritesSyncEndToEnd, AddRenameMoveAndDeleteOnOneHomeAppearOnTheOther) {
  auto a = NewHome();
  auto b = NewHome();
  a->Add("新浪", "http://sina.test/");
  a->Add("工具/翻译", "http://fanyi.test/");
  a->Add("工具/地图", "http://map.test/");
  a->Folder("空文件夹");
  ASSERT_EQ(a->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  const core::SyncOutcome first = a->Sync();
  ASSERT_TRUE(first.ok()) << first.detail;
  EXPECT_TRUE(first.uploaded);

  b->Add("本机", "http://local.test/");
  ASSERT_EQ(b->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(b->Sync().ok());
  EXPECT_EQ(b->Contents(), (Tree{{"新浪.url", "http://sina.test/"},
                                 {"工具", "/"},
                                 {"工具/翻译.url", "http://fanyi.test/"},
                                 {"工具/地图.url", "http://map.test/"},
                                 {"空文件夹", "/"},
                                 {"本机.url", "http://local.test/"}}));
  ASSERT_TRUE(a->Sync().ok());
  EXPECT_EQ(a->Contents(), b->Contents());

  // A file manager on A: a rename, a move into another folder, a folder
  // renamed, a deletion and a changed address.
  a->Move("新浪.url", "新浪首页.url");
  a->Move("工具/地图.url", "空文件夹/地图.url");
  a->Move("工具", "常用工具");
  a->Remove("本机.url");
  a->Add("常用工具/翻译", "https://fanyi.test/v2");
  const core::SyncOutcome changed = a->Sync();
  ASSERT_TRUE(changed.ok()) << changed.detail;
  EXPECT_EQ(changed.merge.local_changes, 5u);
  const core::SyncOutcome got = b->Sync();
  ASSERT_TRUE(got.ok()) << got.detail;
  EXPECT_EQ(b->Contents(), (Tree{{"新浪首页.url", "http://sina.test/"},
                                 {"常用工具", "/"},
                                 {"常用工具/翻译.url", "https://fanyi.test/v2"},
                                 {"空文件夹", "/"},
                                 {"空文件夹/地图.url", "http://map.test/"}}));
  EXPECT_EQ(got.merge.remote_changes, 5u) << "moves and renames arrive as such, not as deletions and additions";

  // Deleting a folder with its content.
  b->Remove("空文件夹");
  ASSERT_TRUE(b->Sync().ok());
  ASSERT_TRUE(a->Sync().ok());
  EXPECT_EQ(a->Contents(), (Tree{{"新浪首页.url", "http://sina.test/"},
                                 {"常用工具", "/"},
                                 {"常用工具/翻译.url", "https://fanyi.test/v2"}}));
  // Nothing changed: nothing is uploaded.
  const core::SyncOutcome idle = a->Sync();
  ASSERT_TRUE(idle.ok());
  EXPECT_FALSE(idle.uploaded);
  EXPECT_EQ(idle.written, 0u);

  // The whole folder gone (moved away, a drive not mounted) deletes nothing
  // on the service: it is made again.
  const Tree kept = a->Contents();
  std::filesystem::remove_all(a->store.folder());
  const core::SyncOutcome remade = a->Sync();
  ASSERT_TRUE(remade.ok()) << remade.detail;
  EXPECT_FALSE(remade.uploaded);
  EXPECT_EQ(a->Contents(), kept);
  ASSERT_TRUE(b->Sync().ok());
  EXPECT_EQ(b->Contents(), kept);
}

TEST_P(FavouritesSyncEndToEnd, EditsOnBothHomesWhileOneIsOfflineAllSurvive) {
  auto a = NewHome();
  auto b = NewHome();
  a->Add("共同", "http://shared.test/");
  a->Add("改名", "http://rename.test/");
  a->Add("删除", "http://delete.test/");
  a->Add("冲突", "http://conflict.test/");
  a->Add("文件夹/旧的", "http://old.test/");
  ASSERT_EQ(a->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(a->Sync().ok());
  ASSERT_EQ(b->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(b->Sync().ok());

  // B goes offline and is edited there.
  const int port = server_->port();
  server_->Stop();
  b->Add("B 新增", "http://b-new.test/");
  b->Move("改名.url", "B 改的名.url");
  b->Add("冲突", "http://conflict.test/b");
  b->Add("文件夹/B 加的", "http://b-in-folder.test/");
  EXPECT_EQ(b->Sync().result, core::SyncResult::kOffline);
  EXPECT_TRUE(b->sync.HasLocalChanges()) << "the changes wait";

  Restart(port);
  // Meanwhile A: its own addition, deletion and edit of the same favourite,
  // and the folder B added to is deleted.
  a->Add("A 新增", "http://a-new.test/");
  a->Remove("删除.url");
  a->Add("冲突", "http://conflict.test/a");
  a->Remove("文件夹");
  ASSERT_TRUE(a->Sync().ok());

  const core::SyncOutcome merged = b->Sync();
  ASSERT_TRUE(merged.ok()) << merged.detail;
  EXPECT_EQ(merged.merge.kept_both, 1u);
  const Tree expected{{"共同.url", "http://shared.test/"},
                      {"B 改的名.url", "http://rename.test/"},
                      {"B 新增.url", "http://b-new.test/"},
                      {"A 新增.url", "http://a-new.test/"},
                      {"冲突.url", "http://conflict.test/a"},
                      {"冲突 (2).url", "http://conflict.test/b"},
                      {"文件夹", "/"},
                      {"文件夹/B 加的.url", "http://b-in-folder.test/"}};
  EXPECT_EQ(b->Contents(), expected) << "both versions of the favourite edited on both sides stay";
  ASSERT_TRUE(a->Sync().ok());
  EXPECT_EQ(a->Contents(), expected);
}

TEST_P(FavouritesSyncEndToEnd, TamperedReplayedOrUnreadableDataIsNeverApplied) {
  auto a = NewHome();
  auto b = NewHome();
  a->Add("一", "http://one.test/");
  ASSERT_EQ(a->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(a->Sync().ok());
  ASSERT_EQ(b->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(b->Sync().ok());

  // Keep revision 1, then upload revision 2.
  Sql("CREATE TABLE kept AS SELECT revision, blob FROM favourites_sync",
      "CREATE TABLE kept AS SELECT revision, blob FROM favourites_sync");
  a->Add("二", "http://two.test/");
  ASSERT_TRUE(a->Sync().ok());
  ASSERT_TRUE(b->Sync().ok());
  const Tree synced = b->Contents();
  ASSERT_EQ(synced.size(), 2u);

  // An older revision, replayed as it was.
  Sql("UPDATE favourites_sync SET revision = (SELECT revision FROM kept), blob = (SELECT blob FROM kept)",
      "UPDATE favourites_sync SET revision = (SELECT revision FROM kept), blob = (SELECT blob FROM kept)");
  b->Remove("二.url");
  EXPECT_EQ(b->Sync().result, core::SyncResult::kReplayed);
  // The old favourites under the newer revision number: they fail
  // authentication, because each revision is sealed into its ciphertext.
  Sql("UPDATE favourites_sync SET revision = revision + 5", "UPDATE favourites_sync SET revision = revision + 5");
  EXPECT_EQ(b->Sync().result, core::SyncResult::kUndecryptable);
  // One byte changed.
  Sql("UPDATE favourites_sync SET blob = substr(blob, 1, 40) || x'00' || substr(blob, 42)",
      "UPDATE favourites_sync SET blob = overlay(blob placing '\\x00'::bytea from 41 for 1)");
  EXPECT_EQ(b->Sync().result, core::SyncResult::kUndecryptable);
  Tree without_two = synced;
  without_two.erase("二.url");
  EXPECT_EQ(b->Contents(), without_two) << "nothing was applied, the local deletion still waits";

  // A wrong password cannot unwrap the data key and says so.
  auto c = NewHome();
  ASSERT_TRUE(c->browser.client.Login("12345678", "secret-1").IsSuccess());
  EXPECT_EQ(c->sync.Unlock("12345678", "not-the-password").result, core::SyncResult::kKeyUnreadable);
  EXPECT_EQ(c->Sync().result, core::SyncResult::kLocked);
  EXPECT_TRUE(c->Contents().empty());
}

TEST_P(FavouritesSyncEndToEnd, GarbageTruncatedOrForeignRepliesApplyNothing) {
  auto a = NewHome();
  SpoilingProxy proxy(server_->port());
  auto b = NewHome(proxy.host());
  a->Add("一", "http://one.test/");
  ASSERT_EQ(a->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(a->Sync().ok());
  ASSERT_EQ(b->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(b->Sync().ok());
  a->Add("二", "http://two.test/");
  a->Remove("一.url");
  ASSERT_TRUE(a->Sync().ok());
  b->Add("本机", "http://local.test/");
  const Tree before = b->Contents();

  const std::pair<SpoilingProxy::Spoil, core::SyncResult> cases[] = {
      {SpoilingProxy::Spoil::kGarbage, core::SyncResult::kBadReply},
      {SpoilingProxy::Spoil::kTruncated, core::SyncResult::kBadReply},
      {SpoilingProxy::Spoil::kGatewayPage, core::SyncResult::kBadReply},
      {SpoilingProxy::Spoil::kOtherBlob, core::SyncResult::kUndecryptable},
  };
  for (const auto& [spoil, result] : cases) {
    proxy.Set("/api/sync/get.e", spoil);
    EXPECT_EQ(b->Sync().result, result) << static_cast<int>(spoil);
    EXPECT_EQ(b->Contents(), before);
  }
  // An upload whose answer is lost: the next sync finds it was stored.
  proxy.Set("/api/sync/get.e", SpoilingProxy::Spoil::kNone);
  proxy.Set("/api/sync/put.e", SpoilingProxy::Spoil::kTruncated);
  EXPECT_EQ(b->Sync().result, core::SyncResult::kBadReply);
  proxy.Set("/api/sync/put.e", SpoilingProxy::Spoil::kNone);
  const core::SyncOutcome healed = b->Sync();
  ASSERT_TRUE(healed.ok()) << healed.detail;
  ASSERT_TRUE(a->Sync().ok());
  EXPECT_EQ(a->Contents(), (Tree{{"二.url", "http://two.test/"}, {"本机.url", "http://local.test/"}}));
  EXPECT_EQ(b->Contents(), a->Contents());
}

TEST_P(FavouritesSyncEndToEnd, TheServiceSyncsAtLoginAfterAChangeWhenBackOnlineAndAtLogout) {
  QueueUiPoster poster;
  core::TaskRunner runner(poster);
  homes_.push_back(std::make_unique<TempHome>(false));
  const auto dir = homes_.back()->path();
  BrowserClient browser(server_->host());
  ASSERT_TRUE(browser.client.Login("12345678", "secret-1").IsSuccess());
  const core::FavouritesStore store(dir / "收藏夹");
  core::SyncTimings timings;
  timings.after_change = std::chrono::milliseconds(100);
  timings.first_retry = std::chrono::milliseconds(200);
  core::FavouritesSyncService service(
      runner, poster,
      std::make_unique<core::FavouritesSync>(store, dir / "favourites-sync.json", browser.session, server_->host(),
                                             nullptr, Home::Cheap()),
      timings);
  int told = 0;
  const auto subscription = service.Subscribe([&] { ++told; });
  const auto wait_for = [&](core::SyncStatus::State state) {
    return WaitUntil(
        [&] {
          poster.RunPending();
          return service.status().state == state;
        },
        std::chrono::seconds(30));
  };
  auto other = NewHome();
  ASSERT_EQ(other->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);

  std::filesystem::create_directories(store.folder());
  WriteFileBytes(store.folder() / "登录前.url", core::UrlFileContent("http://before.test/"));
  service.LogIn("12345678", "secret-1");
  ASSERT_TRUE(wait_for(core::SyncStatus::State::kSynced));
  EXPECT_GT(service.status().last_synced_ms, 0);
  EXPECT_GT(told, 0) << "listeners hear of it on the user-interface thread";
  ASSERT_TRUE(other->Sync().ok());
  EXPECT_EQ(other->Contents(), (Tree{{"登录前.url", "http://before.test/"}}));

  // A change, noticed: synced a moment later without being asked.
  WriteFileBytes(store.folder() / "改动.url", core::UrlFileContent("http://change.test/"));
  const std::int64_t synced = service.status().last_synced_ms;
  service.NotifyLocalChange();
  ASSERT_TRUE(WaitUntil(
      [&] {
        poster.RunPending();
        return other->Sync().ok() && other->Contents().count("改动.url") > 0;
      },
      std::chrono::seconds(30)));
  (void)synced;

  // Offline: the change waits, and goes once the service is back.
  const int port = server_->port();
  server_->Stop();
  WriteFileBytes(store.folder() / "离线时.url", core::UrlFileContent("http://offline.test/"));
  service.NotifyLocalChange();
  ASSERT_TRUE(wait_for(core::SyncStatus::State::kWaiting));
  Restart(port);
  ASSERT_TRUE(wait_for(core::SyncStatus::State::kSynced));
  ASSERT_TRUE(other->Sync().ok());
  EXPECT_EQ(other->Contents().count("离线时.url"), 1u);

  // The logout's last sync takes a change nobody was told of yet, and the
  // exit waits for it.
  WriteFileBytes(store.folder() / "退出前.url", core::UrlFileContent("http://exit.test/"));
  service.LogOut();
  service.FinishBeforeExit(std::chrono::seconds(20));
  EXPECT_FALSE(service.unlocked());
  ASSERT_TRUE(other->Sync().ok());
  EXPECT_EQ(other->Contents().count("退出前.url"), 1u);
}

TEST_P(FavouritesSyncEndToEnd, APasswordChangeKeepsBothHomesSyncing) {
  auto a = NewHome();
  auto b = NewHome();
  a->Add("一", "http://one.test/");
  ASSERT_EQ(a->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(a->Sync().ok());
  ASSERT_EQ(b->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(b->Sync().ok());

  ASSERT_TRUE(a->browser.client.ChangePassword("12345678", "secret-1", "secret-2").IsSuccess());
  ASSERT_TRUE(a->sync.Rewrap("secret-2").ok());
  a->Add("二", "http://two.test/");
  ASSERT_TRUE(a->Sync().ok());
  // The change ended every other session of the account: B signs in again
  // with the new password and goes on with the key it holds.
  EXPECT_FALSE(b->Sync().ok()) << "B's old session ended with the change";
  ASSERT_EQ(b->LogIn("12345678", "secret-2"), core::SyncResult::kSynced);
  ASSERT_TRUE(b->Sync().ok());
  EXPECT_EQ(b->Contents(), a->Contents());

  // A new home with the new password reads everything.
  auto c = NewHome();
  ASSERT_EQ(c->LogIn("12345678", "secret-2"), core::SyncResult::kSynced);
  ASSERT_TRUE(c->Sync().ok());
  EXPECT_EQ(c->Contents(), a->Contents());

  // A change whose re-wrap never reached the service: B logs in with the
  // new password, opens the favourites with the key it kept, and wraps it
  // anew, so that a fourth home can read them too.
  ASSERT_TRUE(a->browser.client.ChangePassword("12345678", "secret-2", "secret-3").IsSuccess());
  ASSERT_EQ(b->LogIn("12345678", "secret-3"), core::SyncResult::kSynced);
  ASSERT_TRUE(b->Sync().ok());
  auto d = NewHome();
  ASSERT_EQ(d->LogIn("12345678", "secret-3"), core::SyncResult::kSynced);
  ASSERT_TRUE(d->Sync().ok());
  EXPECT_EQ(d->Contents(), a->Contents());
}

TEST_P(FavouritesSyncEndToEnd, AfterAResetTheNextLoginStartsAfreshFromThisHome) {
  auto a = NewHome();
  auto b = NewHome();
  a->Add("云端的", "http://cloud.test/");
  ASSERT_EQ(a->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(a->Sync().ok());

  ASSERT_EQ(Admin({"user", "reset-password", "12345678"}, "secret-new\n").code, 0);
  // B holds a different favourite; after the reset it is the one kept.
  b->Add("本机的", "http://local.test/");
  ASSERT_EQ(b->LogIn("12345678", "secret-new"), core::SyncResult::kKeyReset);
  EXPECT_EQ(b->Sync().result, core::SyncResult::kLocked) << "nothing syncs until the user agrees";
  const core::SyncOutcome fresh = b->sync.StartFresh();
  ASSERT_TRUE(fresh.ok()) << fresh.detail;
  EXPECT_EQ(b->Contents(), (Tree{{"本机的.url", "http://local.test/"}}));

  // A still holds the old key: its session ended with the reset, and the
  // new password unwraps the new key; its own favourite joins.
  ASSERT_EQ(a->LogIn("12345678", "secret-new"), core::SyncResult::kSynced);
  ASSERT_TRUE(a->Sync().ok());
  EXPECT_EQ(a->Contents(), (Tree{{"本机的.url", "http://local.test/"}, {"云端的.url", "http://cloud.test/"}}));
}

TEST_P(FavouritesSyncEndToEnd, TheDatabaseHoldsNoNameOrAddress) {
  auto a = NewHome();
  a->Add("独一无二的收藏名", "http://distinctive-address.test/page");
  a->Add("秘密文件夹/another-unique-title", "http://second-distinctive.test/");
  ASSERT_EQ(a->LogIn("12345678", "secret-1"), core::SyncResult::kSynced);
  ASSERT_TRUE(a->Sync().ok());
  const std::string bytes = DatabaseBytes();
  EXPECT_NE(bytes.find("li@example.com"), std::string::npos) << "the search sees what the database keeps in clear";
  for (const char* secret : {"独一无二的收藏名", "distinctive-address", "秘密文件夹", "another-unique-title",
                             "second-distinctive"}) {
    EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, FavouritesSyncEndToEnd, testing::Values(Backend::kSqlite, Backend::kPostgres),
                         BackendName);

}  // namespace
}  // namespace nuve::test
