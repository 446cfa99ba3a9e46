// Everyday browsing against pages on 127.0.0.1: error pages, certificates,
// search, history and the address box's completion.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/app/error_page.h"
#include "support/free_port.h"
#include "ui/history/history_window.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

// The text of the page shown in `tab`.
std::string PageText(ui::BrowserTab& tab) {
  return EvaluateScript(tab.page().view(), "document.body ? document.body.innerText : ''", 5000);
}

using BrowsingTest = MainWindowTest;

TEST_F(BrowsingTest, UnreachableAndBlockedAddressesShowChineseErrorPagesAndKeepTheAddress) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "One"));
  const std::string refused = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/page";
  window.navigation_bar().SetAddress(refused);
  window.Go();
  ASSERT_TRUE(WaitForTabTitle(tab, core::kErrorPageTitle)) << tab.page().Title();
  EXPECT_NE(PageText(tab).find("拒绝了连接"), std::string::npos) << PageText(tab);
  EXPECT_EQ(window.navigation_bar().Address(), refused) << "the address asked for stays";
  EXPECT_EQ(tab.page().Uri(), refused);

  // A port the engine refuses for safety used to leave a blank page.
  tab.page().Load("http://127.0.0.1:1/");
  ASSERT_TRUE(RunUntil(
      [&] { return tab.page().Uri() == "http://127.0.0.1:1/" && tab.page().Title() == core::kErrorPageTitle; }))
      << tab.page().Uri() << " " << tab.page().Title();
  EXPECT_EQ(window.navigation_bar().Address(), "http://127.0.0.1:1/");
  EXPECT_EQ(window.get_title().raw(), std::string(core::kErrorPageTitle) + " - NUVE浏览器M1");
  tab.page().Load(pages_->Url("/title/Three"));
  ASSERT_TRUE(WaitForTabTitle(tab, "Three"));

  // The tab goes on working, and error pages are no visits.
  tab.page().Load(pages_->Url("/title/Two"));
  ASSERT_TRUE(WaitForTabTitle(tab, "Two"));
  context_->history().Flush();
  core::HistoryStore::Entries all;
  context_->history().Search("", 100, [&](core::HistoryStore::Entries e) { all = std::move(e); });
  context_->history().Flush();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].url, pages_->Url("/title/Two"));
  EXPECT_EQ(all[1].url, pages_->Url("/title/Three"));
  EXPECT_EQ(all[2].url, pages_->Url("/title/One"));
}

TEST_F(BrowsingTest, ASelfSignedCertificateIsExplainedAndContinuingIsTheUsersChoice) {
  TlsPageServer tls(home_->path().string());
  ASSERT_TRUE(tls.ok());
  ui::MainWindow& window = Open(tls.Url("/title/Secret"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, core::kTlsErrorPageTitle)) << tab.page().Title();
  EXPECT_NE(PageText(tab).find("不是由受信任的机构颁发的"), std::string::npos);
  EXPECT_TRUE(tab.page().OffersToContinueInsecurely());
  EXPECT_EQ(window.navigation_bar().Address(), tls.Url("/title/Secret"));

  // Another tab keeps working meanwhile; then the user chooses to continue.
  ui::BrowserTab& other = window.tab_strip().OpenTab(pages_->Url("/title/Plain"));
  ASSERT_TRUE(WaitForTabTitle(other, "Plain"));
  EXPECT_EQ(tab.page().Title(), core::kTlsErrorPageTitle) << "nothing continues by itself";
  window.tab_strip().SelectTab(0);
  tab.page().ContinueInsecurely();
  EXPECT_TRUE(WaitForTabTitle(tab, "Secret")) << tab.page().Title();
  EXPECT_FALSE(tab.page().OffersToContinueInsecurely());
}

TEST_F(BrowsingTest, PermissionsAreAskedAndTheAnswerHoldsForTheRun) {
  ui_host_.confirm_answer = false;  // the user says no
  ui::MainWindow& window = Open(pages_->Url("/locate"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "denied")) << tab.page().Title();
  ASSERT_EQ(ui_host_.messages.size(), 1u);
  EXPECT_EQ(ui_host_.messages[0], "网站 127.0.0.1 请求获取您的位置。是否允许？");
  // The page asks again after a reload. The remembered answer comes at once,
  // so "asking" and "denied" may reach the window in one go: every title
  // the page had counts, not only the one seen last.
  std::vector<std::string> titles;
  tab.page().signal_title_changed().connect([&] { titles.push_back(tab.page().Title()); });
  tab.page().Reload();
  ASSERT_TRUE(RunUntil([&] { return pages_->Hits("/locate") == 2 && !titles.empty() && titles.back() == "denied"; }))
      << tab.page().Title();
  EXPECT_NE(std::find(titles.begin(), titles.end(), "asking"), titles.end()) << "the page was loaded again";
  EXPECT_EQ(ui_host_.messages.size(), 1u) << "asked once per site and run";
}

TEST_F(BrowsingTest, WordsGoToTheSearchPreset) {
  SetEnv("NUVE_SEARCH_QUERY", pages_->Url("/title/found:%s"));
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ASSERT_TRUE(WaitForTitle("One - NUVE浏览器M1"));
  window.navigation_bar().SetAddress("nuve 浏览器");
  window.Go();
  EXPECT_TRUE(WaitForTitle("found:nuve 浏览器 - NUVE浏览器M1")) << window.get_title();
  // A bare host still gets http:// and is visited, not searched.
  window.navigation_bar().SetAddress("127.0.0.1:" + std::to_string(pages_->port()) + "/title/Host");
  window.Go();
  EXPECT_TRUE(WaitForTitle("Host - NUVE浏览器M1")) << window.get_title();
}

TEST_F(BrowsingTest, CompletionOffersAVisitedPageAndTheKeyboardTakesIt) {
  ui::MainWindow& window = Open(pages_->Url("/title/Alpha"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "Alpha"));
  tab.page().Load(pages_->Url("/title/Beta"));
  ASSERT_TRUE(WaitForTabTitle(tab, "Beta"));
  context_->history().Flush();  // the visit to Alpha is stored
  window.navigation_bar().FocusAddress();
  ASSERT_TRUE(XDoTool("type --delay 60 Alph"));
  ui::AddressCompletion& completion = window.completion();
  // Each typed letter asks again; the list for the whole word is the one that counts.
  ASSERT_TRUE(RunUntil([&] { return window.navigation_bar().Address() == "Alph" && completion.IsShown() &&
                                    completion.rows().size() == 1; },
                       5000))
      << window.navigation_bar().Address();
  std::string offered;
  for (const auto& row : completion.rows()) offered += row.url + " ";
  ASSERT_EQ(completion.rows().size(), 1u) << offered;
  EXPECT_EQ(completion.rows()[0].url, pages_->Url("/title/Alpha"));
  EXPECT_EQ(completion.rows()[0].title, "Alpha");
  ASSERT_TRUE(XDoTool("key Down"));
  ASSERT_TRUE(RunUntil([&] { return completion.selected() == 0; }, 2000));
  ASSERT_TRUE(XDoTool("key Return"));
  EXPECT_TRUE(WaitForTabTitle(tab, "Alpha")) << tab.page().Title();
  EXPECT_FALSE(completion.IsShown());
  // Escape closes the list and keeps what was typed.
  window.navigation_bar().FocusAddress();
  ASSERT_TRUE(XDoTool("type --delay 60 Bet"));
  ASSERT_TRUE(RunUntil([&] { return completion.IsShown(); }, 5000));
  ASSERT_TRUE(XDoTool("key Escape"));
  EXPECT_TRUE(RunUntil([&] { return !completion.IsShown(); }, 2000));
  EXPECT_EQ(window.navigation_bar().Address(), "Bet");
}

TEST_F(BrowsingTest, TheHistoryWindowSearchesDeletesAndClears) {
  ui::MainWindow& window = Open(pages_->Url("/title/Alpha"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "Alpha"));
  tab.page().Load(pages_->Url("/title/Beta"));
  ASSERT_TRUE(WaitForTabTitle(tab, "Beta"));
  window.activate_action("win.history");
  ASSERT_EQ(ui_host_.modals.size(), 1u);
  auto* history = dynamic_cast<ui::HistoryWindow*>(ui_host_.modals[0].get());
  ASSERT_NE(history, nullptr);
  ASSERT_TRUE(RunUntil([&] { return history->entries().size() == 2; }));
  EXPECT_EQ(history->entries()[0].title, "Beta") << "the latest visit first";
  history->search_entry().set_text("alp");
  ASSERT_TRUE(RunUntil([&] { return history->entries().size() == 1; }));
  EXPECT_EQ(history->entries()[0].title, "Alpha");
  // Enter on a row opens it in the current tab.
  history->list().get_row_at_index(0)->activate();
  EXPECT_TRUE(WaitForTabTitle(tab, "Alpha"));
  history->DeleteSelected();
  ASSERT_TRUE(RunUntil([&] { return history->entries().empty(); }));
  history->search_entry().set_text("");
  ASSERT_TRUE(RunUntil([&] { return history->entries().size() == 1; }));
  history->ClearAll();
  EXPECT_EQ(ui_host_.messages.back(), "确定要清除全部历史记录吗？");
  EXPECT_TRUE(RunUntil([&] { return history->entries().empty(); }));
}

}  // namespace
}  // namespace nuve::test
