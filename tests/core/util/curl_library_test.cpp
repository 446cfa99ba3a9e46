// libcurl loaded on first use: every kind of value NUVE passes to it (whole
// numbers, strings and lists, callbacks, 64-bit sizes, pointers to answers)
// arrives as libcurl itself would have read it.
#include "core/util/curl_library.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <string>
#include <thread>

namespace nuve::core {
namespace {

size_t Append(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

TEST(CurlLibraryTest, OptionsOfEveryKindReachTheLibraryAndCookiesAreShared) {
  httplib::Server server;
  std::string posted;
  std::string header_seen;
  std::string cookie_seen;
  server.Post("/echo", [&](const httplib::Request& req, httplib::Response& res) {
    posted = req.body;
    header_seen = req.get_header_value("X-Nuve");
    res.set_header("Set-Cookie", "k=v; Path=/");
    res.set_header("X-Reply", "yes");
    res.status = 201;
    res.set_content("made", "text/plain");
  });
  server.Get("/cookie", [&](const httplib::Request& req, httplib::Response& res) {
    cookie_seen = req.get_header_value("Cookie");
    res.set_content("ok", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { server.listen_after_bind(); });
  const std::string base = "http://127.0.0.1:" + std::to_string(port);

  ASSERT_EQ(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_OK);
  EXPECT_TRUE(CurlLibraryLoaded());
  CURLSH* share = curl_share_init();
  ASSERT_NE(share, nullptr);
  ASSERT_EQ(curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE), CURLSHE_OK);

  CURL* post = curl_easy_init();
  ASSERT_NE(post, nullptr);
  const std::string url = base + "/echo";
  const char body[] = "0123456789";
  std::string reply;
  curl_slist* headers = curl_slist_append(nullptr, "X-Nuve: 1");
  EXPECT_EQ(curl_easy_setopt(post, CURLOPT_URL, url.c_str()), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(post, CURLOPT_TIMEOUT_MS, 10000L), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(post, CURLOPT_HTTPHEADER, headers), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(post, CURLOPT_POSTFIELDS, body), CURLE_OK);
  // Five of the ten bytes: a size read as anything but 64 bits sends others.
  EXPECT_EQ(curl_easy_setopt(post, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(5)), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(post, CURLOPT_WRITEFUNCTION, &Append), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(post, CURLOPT_WRITEDATA, &reply), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(post, CURLOPT_SHARE, share), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(post, CURLOPT_COOKIEFILE, ""), CURLE_OK);
  // An option libcurl does not know is refused, not passed on wrongly.
  EXPECT_NE(curl_easy_setopt(post, static_cast<CURLoption>(CURLOPTTYPE_OBJECTPOINT + 9999), nullptr), CURLE_OK);

  CURLM* multi = curl_multi_init();
  ASSERT_NE(multi, nullptr);
  ASSERT_EQ(curl_multi_add_handle(multi, post), CURLM_OK);
  int running = 1;
  while (running > 0) {
    ASSERT_EQ(curl_multi_perform(multi, &running), CURLM_OK);
    if (running > 0) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
  }
  int left = 0;
  CURLMsg* done = curl_multi_info_read(multi, &left);
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(done->data.result, CURLE_OK) << curl_easy_strerror(done->data.result);
  curl_multi_remove_handle(multi, post);
  curl_multi_cleanup(multi);

  EXPECT_EQ(posted, "01234");
  EXPECT_EQ(header_seen, "1");
  EXPECT_EQ(reply, "made");
  long status = 0;
  EXPECT_EQ(curl_easy_getinfo(post, CURLINFO_RESPONSE_CODE, &status), CURLE_OK);
  EXPECT_EQ(status, 201);
  curl_header* reply_header = nullptr;
  ASSERT_EQ(curl_easy_header(post, "X-Reply", 0, CURLH_HEADER, -1, &reply_header), CURLHE_OK);
  EXPECT_STREQ(reply_header->value, "yes");
  EXPECT_STREQ(curl_easy_strerror(CURLE_COULDNT_CONNECT), "Couldn't connect to server");
  curl_slist_free_all(headers);
  curl_easy_cleanup(post);

  // A second handle on the same share sends the first one's cookie.
  CURL* get = curl_easy_init();
  const std::string cookie_url = base + "/cookie";
  std::string ignored;
  curl_easy_setopt(get, CURLOPT_URL, cookie_url.c_str());
  curl_easy_setopt(get, CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(get, CURLOPT_WRITEDATA, &ignored);
  curl_easy_setopt(get, CURLOPT_SHARE, share);
  curl_easy_setopt(get, CURLOPT_COOKIEFILE, "");
  CURLM* again = curl_multi_init();
  curl_multi_add_handle(again, get);
  for (running = 1; running > 0;) {
    ASSERT_EQ(curl_multi_perform(again, &running), CURLM_OK);
    if (running > 0) curl_multi_poll(again, nullptr, 0, 100, nullptr);
  }
  curl_multi_remove_handle(again, get);
  curl_multi_cleanup(again);
  curl_easy_cleanup(get);
  EXPECT_EQ(cookie_seen, "k=v");
  EXPECT_EQ(curl_share_cleanup(share), CURLSHE_OK);

  server.stop();
  thread.join();
}

}  // namespace
}  // namespace nuve::core
