// The version check's GET in the nuve-fetch helper: the body comes back,
// every way of failing gives "", the helper is ended and collected when it
// is stopped or sends too much, and this process never loads libcurl.
#include "core/util/read_url_helper.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <stop_token>
#include <string>
#include <thread>

#include "core/util/curl_library.h"

namespace nuve::core {
namespace {

TEST(ReadUrlHelperTest, BodiesComeBackAndEveryFailureEndsTheHelper) {
#ifndef NUVE_FETCH_HELPER
  GTEST_SKIP() << "built without the program and its helper";
#else
  httplib::Server server;
  server.Get("/page", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string("版本\0beta", 11), "text/plain");
  });
  server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    res.set_content("no such page", "text/plain");
  });
  server.Get("/big", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(std::string(100000, 'x'), "text/plain");
  });
  server.Get("/slow", [](const httplib::Request&, httplib::Response& res) {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    res.set_content("late", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { server.listen_after_bind(); });
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  const std::filesystem::path helper = NUVE_FETCH_HELPER;
  const bool curl_before = CurlLibraryLoaded();

  // The bytes as sent, a zero byte among them.
  EXPECT_EQ(ReadUrlInHelper(helper, base + "/page", {}), std::string("版本\0beta", 11));
  EXPECT_EQ(ReadUrlInHelper(helper, base + "/missing", {}), "");
  ReadUrlOptions small;
  small.max_bytes = 1000;
  EXPECT_EQ(ReadUrlInHelper(helper, base + "/big", small), "");
  EXPECT_EQ(ReadUrlInHelper(helper, base + "/big", {})->size(), 100000u);
  EXPECT_EQ(ReadUrlInHelper(helper, "http://127.0.0.1:9/", {}), "");

  // A stop request ends the helper at once, long before the reply.
  std::stop_source stop;
  ReadUrlOptions stoppable;
  stoppable.stop = stop.get_token();
  std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop.request_stop();
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadUrlInHelper(helper, base + "/slow", stoppable), "");
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));

  // The helper's own time-out holds too.
  ReadUrlOptions quick;
  quick.timeout_ms = 300;
  EXPECT_EQ(ReadUrlInHelper(helper, base + "/slow", quick), "");

  // Every helper started was collected: no child is left, not even a zombie.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  if (!curl_before) {
    EXPECT_FALSE(CurlLibraryLoaded()) << "the GETs ran in this process";
  }

  // A helper that cannot be started is told apart from a failed GET.
  EXPECT_EQ(ReadUrlInHelper("/nonexistent/nuve-fetch", base + "/page", {}), std::nullopt);

  server.stop();
  thread.join();
#endif
}

}  // namespace
}  // namespace nuve::core
