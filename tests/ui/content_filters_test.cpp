// Content blocking with the real engine, without a main window: Debian's
// EasyList and EasyPrivacy compile with no rejection, compiled lists come
// back from the cache (and are compiled again when the cached file is
// damaged), and a view is filtered except on a site where blocking is off.
#include "ui/engine/content_filters.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "core/app/config.h"
#include "core/util/task_runner.h"
#include "support/site_proxy.h"
#include "support/temp_home.h"
#include "support/test_environment.h"
#include "ui/app/glib_ui_poster.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

using ui::ContentFilters;
using State = ContentFilters::ListInfo::State;

bool Settled(const ContentFilters& filters) { return filters.ready() && filters.idle(); }

const ContentFilters::ListInfo* ListNamed(const ContentFilters& filters, const std::string& id) {
  for (const auto& info : filters.lists()) {
    if (info.source.id == id) return &info;
  }
  return nullptr;
}

// One start of content blocking in the test's NUVE_HOME.
struct FilteringStart {
  FilteringStart() : config(core::Config::FromEnvironment()), tasks(poster), filters(config, tasks, {}) { filters.Start(); }
  ~FilteringStart() {
    // Whatever is still on its way back is dropped with the filters.
    RunPending();
  }
  core::Config config;
  ui::GlibUiPoster poster;
  core::TaskRunner tasks;
  ContentFilters filters;
};

TEST(ContentFiltersEngine, DebiansEasyListAndEasyPrivacyCompileWithoutARejection) {
  const char* debian = "/usr/share/chromium/extensions/ublock-origin/assets/thirdparties/easylist";
  if (!std::filesystem::exists(std::filesystem::path(debian) / "easylist.txt")) {
    GTEST_SKIP() << "webext-ublock-origin-chromium is not installed";
  }
  TempHome home;
  SetTestEnvironment("NUVE_PACKAGED_FILTER_LISTS", debian);
  {
    FilteringStart first;
    // The engine's first compile of both lists takes seconds on a loaded machine.
    ASSERT_TRUE(RunUntil([&] { return Settled(first.filters); }, 280000));
    ASSERT_EQ(first.filters.lists().size(), 2u);
    for (const auto& info : first.filters.lists()) {
      EXPECT_EQ(info.state, State::kActive) << info.source.name << ": " << info.error;
      EXPECT_TRUE(info.error.empty()) << info.error;
      EXPECT_GT(info.record.rule_count, 40000u) << info.source.name;
      // What was skipped is a small share, and counted.
      EXPECT_LT(info.record.skipped_count * 50, info.record.filter_count) << info.record.skipped_kinds;
      EXPECT_FALSE(info.from_cache);
    }
  }
  // The next start loads both compiled lists without converting anything.
  FilteringStart second;
  ASSERT_TRUE(RunUntil([&] { return Settled(second.filters); }, 60000));
  for (const auto& info : second.filters.lists()) {
    EXPECT_EQ(info.state, State::kActive) << info.source.name;
    EXPECT_TRUE(info.from_cache) << info.source.name;
  }
}

TEST(ContentFiltersEngine, ATruncatedOrForeignCompiledFileIsCompiledAgain) {
  TempHome home;
  const auto lists = home.path() / "过滤规则";
  std::filesystem::create_directories(lists);
  WriteFileBytes(lists / "mine.txt", "||ads.example^\n##.ad\n");
  std::filesystem::path compiled;
  {
    FilteringStart first;
    ASSERT_TRUE(RunUntil([&] { return Settled(first.filters); }));
    const auto* info = ListNamed(first.filters, "local:mine.txt");
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->state, State::kActive) << info->error;
    compiled = std::filesystem::path(first.filters.store_folder()) / ("ContentRuleList-" + info->record.Identifier());
  }
  ASSERT_TRUE(std::filesystem::exists(compiled));
  const std::string good = ReadFileBytes(compiled);
  const std::string damages[] = {good.substr(0, good.size() / 2), std::string(good.size(), 'x'), ""};
  for (const std::string& damaged : damages) {
    WriteFileBytes(compiled, damaged);
    FilteringStart again;
    ASSERT_TRUE(RunUntil([&] { return Settled(again.filters); }));
    const auto* info = ListNamed(again.filters, "local:mine.txt");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->state, State::kActive) << info->error;
    EXPECT_FALSE(info->from_cache);
  }
  FilteringStart last;
  ASSERT_TRUE(RunUntil([&] { return Settled(last.filters); }));
  EXPECT_TRUE(ListNamed(last.filters, "local:mine.txt")->from_cache);
}

// A page that names an ad host and an element the lists hide; its title
// tells when the image has settled either way.
constexpr char kPage[] =
    "<html><head><title>page</title></head><body>"
    "<div class=\"ad\" id=\"ad\">ad</div><div id=\"plain\">text</div>"
    "<img src=\"http://ads.example/banner.gif\" onload=\"document.title='loaded'\" "
    "onerror=\"document.title='blocked'\"></body></html>";
constexpr char kGif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff\x21\xf9\x04\x01\x00\x00\x00\x00"
                        "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b";

class FilteredViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(home_.path() / "过滤规则");
    WriteFileBytes(home_.path() / "过滤规则" / "ads.txt", "||ads.example^\nnews.test,other.test##.ad\n");
    for (const char* host : {"news.test", "other.test"}) proxy_.Serve(host, "/", {200, "text/html", kPage, {}, 0});
    proxy_.Serve("ads.example", "/banner.gif", {200, "image/gif", std::string(kGif, sizeof kGif - 1), {}, 0});
    run_ = std::make_unique<FilteringStart>();
    ASSERT_TRUE(RunUntil([&] { return Settled(run_->filters); }));
    session_ = webkit_network_session_new_ephemeral();
    WebKitNetworkProxySettings* proxy =
        webkit_network_proxy_settings_new(("http://" + proxy_.address()).c_str(), nullptr);
    webkit_network_session_set_proxy_settings(session_, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, proxy);
    webkit_network_proxy_settings_free(proxy);
    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session_, nullptr));
    g_object_ref_sink(view_);
    run_->filters.AttachView(view_);
    window_.set_child(*Glib::wrap(GTK_WIDGET(view_)));
    window_.set_default_size(400, 300);
    window_.present();
  }
  void TearDown() override {
    window_.unset_child();
    g_clear_object(&view_);
    g_clear_object(&session_);
    run_.reset();
  }

  // Loads `uri` and gives what became of the image and the hidden element.
  std::string Visit(const std::string& uri) {
    if (webkit_web_view_get_uri(view_) != nullptr) EvaluateScript(view_, "document.title = 'leaving'");
    webkit_web_view_load_uri(view_, uri.c_str());
    RunUntil([&] {
      const char* title = webkit_web_view_get_title(view_);
      return title != nullptr && (std::string(title) == "loaded" || std::string(title) == "blocked") &&
             !webkit_web_view_is_loading(view_);
    });
    return EvaluateScript(view_, "document.title + ' ' + getComputedStyle(document.getElementById('ad')).display");
  }

  TempHome home_;
  SiteProxy proxy_;
  std::unique_ptr<FilteringStart> run_;
  WebKitNetworkSession* session_ = nullptr;
  WebKitWebView* view_ = nullptr;
  Gtk::Window window_;
};

TEST_F(FilteredViewTest, BlockingStaysOffOnlyForTheSiteWhereTheUserTurnedItOff) {
  EXPECT_EQ(Visit("http://news.test/"), "blocked none");
  EXPECT_EQ(proxy_.Hits("ads.example", "/banner.gif"), 0);
  EXPECT_TRUE(run_->filters.views().IsFiltered(view_));

  // Taking effect at the next load of that site.
  ASSERT_TRUE(run_->filters.SetSiteExcepted("news.test", true).ok());
  EXPECT_EQ(Visit("http://news.test/"), "loaded block");
  EXPECT_EQ(proxy_.Hits("ads.example", "/banner.gif"), 1);
  EXPECT_FALSE(run_->filters.IsBlockingOn("http://news.test/a"));

  // For that site only: a link to another site is filtered again.
  EXPECT_EQ(Visit("http://other.test/"), "blocked none");
  EXPECT_EQ(proxy_.Hits("ads.example", "/banner.gif"), 1);
  EXPECT_EQ(run_->filters.ExceptedSites(), std::vector<std::string>{"news.test"});

  // Off everywhere, then on again.
  run_->filters.SetEnabled(false);
  EXPECT_EQ(Visit("http://other.test/"), "loaded block");
  run_->filters.SetEnabled(true);
  EXPECT_EQ(Visit("http://other.test/"), "blocked none");
}

}  // namespace
}  // namespace nuve::test
