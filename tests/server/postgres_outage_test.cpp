// A PostgreSQL server that stops answering (SIGSTOP: it still accepts TCP
// connections and never replies, as a hung machine does). Each request
// fails within five seconds with code 5, /healthz says 503, and once the
// server runs again the service serves again. The cluster is this test's
// own, so the other tests' database runs on.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <fstream>
#include <regex>
#include <thread>

#include "browser_client.h"
#include "server_process.h"

namespace nuve::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A cluster in a temporary folder, through the tests' fixture script.
class OwnCluster {
 public:
  OwnCluster() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nuve-pg-own.XXXXXX").string();
    state_ = mkdtemp(pattern.data());
    ok_ = std::system(("bash " NUVE_POSTGRES_FIXTURE " start " + state_.string() + " >/dev/null 2>&1").c_str()) == 0;
    std::ifstream(state_ / "url") >> url_;
    std::ifstream(state_ / "cluster") >> folder_;
  }
  ~OwnCluster() {
    Resume();
    std::system(("bash " NUVE_POSTGRES_FIXTURE " stop " + state_.string() + " >/dev/null 2>&1").c_str());
    std::filesystem::remove_all(state_);
  }
  bool ok() const { return ok_ && !url_.empty(); }
  const std::string& url() const { return url_; }
  // Stops or resumes the server and every process of it.
  void Pause() { Signal(SIGSTOP); }
  void Resume() { Signal(SIGCONT); }

 private:
  void Signal(int sig) {
    std::ifstream pid_file(folder_ / "data" / "postmaster.pid");
    pid_t postmaster = 0;
    pid_file >> postmaster;
    if (postmaster <= 0) return;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      std::ifstream stat(entry.path() / "stat");
      std::string line;
      if (!std::getline(stat, line)) continue;
      // pid (comm) state ppid ...: the parent follows the closing bracket.
      std::istringstream rest(line.substr(line.rfind(')') + 2));
      char state = 0;
      pid_t parent = 0;
      rest >> state >> parent;
      if (parent == postmaster) kill(std::stoi(entry.path().filename()), sig);
    }
    kill(postmaster, sig);
  }

  std::filesystem::path state_;
  std::filesystem::path folder_;
  std::string url_;
  bool ok_ = false;
};

TEST(PostgresOutage, AStoppedDatabaseFailsEachRequestWithinFiveSecondsAndHealthSays503) {
  OwnCluster cluster;
  ASSERT_TRUE(cluster.ok()) << "the test's own PostgreSQL cluster did not start";
  std::string pattern = (std::filesystem::temp_directory_path() / "nuve-outage.XXXXXX").string();
  const std::filesystem::path data = mkdtemp(pattern.data());
  {
    ServerProcess server({"--data", data.string(), "--database", cluster.url()});
    BrowserClient b(server.host());
    ASSERT_TRUE(b.client.SendRegisterCodeMail("pg@example.com").IsSuccess());
    core::RegisterFields fields;
    fields.email = "pg@example.com";
    fields.code = CodeInMail(LastMailTo(server.Log(), "pg@example.com"));
    ASSERT_TRUE(b.client.Register("12345678", "secret-1", fields).IsSuccess());
    ASSERT_TRUE(b.client.Login("12345678", "secret-1").IsSuccess());
    const std::string keep = "token=" + b.session.Token();

    httplib::Client web("127.0.0.1", server.port());
    web.set_read_timeout(30);
    ASSERT_EQ(web.Get("/healthz")->status, 200);
    cluster.Pause();
    const auto t0 = Clock::now();
    const auto hung = web.Post("/api/comm/keep.e", keep, "application/x-www-form-urlencoded");
    const auto took = Clock::now() - t0;
    ASSERT_TRUE(hung);
    EXPECT_NE(hung->body.find("\"code\":5"), std::string::npos) << hung->body;
    EXPECT_LT(took, milliseconds(5000));
    const auto t1 = Clock::now();
    const auto health = web.Get("/healthz");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 503);
    EXPECT_LT(Clock::now() - t1, milliseconds(5000));
    const auto t2 = Clock::now();
    const std::string login = "account=12345678&password=secret-1&appKey=" + std::string(core::kApplicationKey);
    const auto again = web.Post("/api/login.e", login, "application/x-www-form-urlencoded");
    ASSERT_TRUE(again);
    EXPECT_NE(again->body.find("\"code\":5"), std::string::npos);
    EXPECT_LT(Clock::now() - t2, milliseconds(1000)) << "once known to hang, the database is not waited for again";
    EXPECT_EQ(web.Get("/fcg-bin/cgi_get_portrait.fcg?uins=1")->status, 200) << "the version channel answers";

    cluster.Resume();
    EXPECT_TRUE(WaitUntil([&] { return b.client.KeepAlive(); }, milliseconds(15000))) << "served again";
    EXPECT_EQ(web.Get("/healthz")->status, 200);
  }
  std::filesystem::remove_all(data);
}

}  // namespace
}  // namespace nuve::test
