// The page's own context menu: right clicks on a link, an image, a
// selection, an edit box and the page itself, the items each gets, and what
// each of our items does (new tabs and where they stand, the clipboard, the
// add-favourite window, the source tab).
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "core/app/address.h"
#include "core/app/context_menu.h"
#include "ui/favourites/add_favourite_window.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

using Labels = std::vector<std::string>;

class ContextMenuTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    SetEnv("NUVE_SEARCH_QUERY", pages_->Url("/title/found") + "?q=%s");
  }

  // Opens /menu in the first tab and a second tab after it, and goes back
  // to the first: a tab "right after" it is then not simply the last.
  ui::BrowserTab& OpenMenuPage() {
    ui::MainWindow& window = Open(pages_->Url("/menu"));
    ui::BrowserTab& tab = window.tab_strip().FirstTab();
    EXPECT_TRUE(WaitForTabTitle(tab, "menu"));
    ui::BrowserTab& other = window.tab_strip().OpenTab(pages_->Url("/title/Other"));
    EXPECT_TRUE(WaitForTabTitle(other, "Other"));
    window.tab_strip().SelectTab(0);
    EXPECT_TRUE(WaitUntilShown(tab.page().widget()));
    return tab;
  }

  // Right-clicks the page at (x, y) and waits for our menu; the menu on
  // screen is closed again, its items stay readable.
  ui::PageContextMenu& RightClick(ui::BrowserTab& tab, double x, double y) {
    int built = 0;
    const gulong handler = g_signal_connect_after(
        tab.page().view(), "context-menu",
        G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu*, WebKitHitTestResult*, gpointer count) -> gboolean {
          ++*static_cast<int*>(count);
          return FALSE;
        }),
        &built);
    // The page learns where the pointer is from its motion first.
    EXPECT_TRUE(PointerAt(tab.page().widget(), x, y, ""));
    RunUntil([] { return false; }, 150);
    EXPECT_TRUE(PointerAt(tab.page().widget(), x, y, "click 3"));
    EXPECT_TRUE(RunUntil([&] { return built > 0; }, 5000)) << "no menu at " << x << "," << y;
    g_signal_handler_disconnect(tab.page().view(), handler);
    XDoTool("key Escape");
    RunUntil([] { return false; }, 200);
    return tab.page().context_menu();
  }

  std::string Clipboard() { return ClipboardText(*window_); }

  // The add window the last item opened: its address and remark.
  std::pair<std::string, std::string> AddWindowFields() {
    auto* add = ui_host_.modals.empty() ? nullptr : dynamic_cast<ui::AddFavouriteWindow*>(ui_host_.modals.back().get());
    if (add == nullptr) return {"<no window>", ""};
    return {Named<Gtk::Entry>(*add, "编辑框1").get_text().raw(), Named<Gtk::Entry>(*add, "编辑框2").get_text().raw()};
  }

  static bool Enabled(ui::PageContextMenu& menu, const std::string& label) {
    const ui::PageContextMenu::Item* item = menu.Find(label);
    return item != nullptr && item->enabled;
  }
};

TEST_F(ContextMenuTest, ALinkOpensBesideInTheBackgroundCopiesAndBecomesAFavourite) {
  ui::BrowserTab& tab = OpenMenuPage();
  ui::TabStrip& strip = window_->tab_strip();
  ui::PageContextMenu& menu = RightClick(tab, 20, 18);
  EXPECT_EQ(menu.Labels(), (Labels{"在新标签页中打开链接", "在新窗口中打开链接", "链接另存为…", "复制链接地址", "将链接添加到收藏夹"}));

  ASSERT_TRUE(menu.Activate("在新标签页中打开链接"));
  ASSERT_EQ(strip.BrowsingTabCount(), 3);
  ui::BrowserTab& opened = strip.TabAt(1);
  EXPECT_TRUE(WaitForTabTitle(opened, "child"));
  EXPECT_EQ(opened.page().Uri(), pages_->Url("/title/child"));
  EXPECT_EQ(&strip.CurrentTab(), &tab) << "a background tab";
  EXPECT_EQ(strip.TabAt(2).page().Title(), "Other");

  ASSERT_TRUE(menu.Activate("复制链接地址"));
  EXPECT_EQ(Clipboard(), pages_->Url("/title/child"));

  ASSERT_TRUE(menu.Activate("将链接添加到收藏夹"));
  EXPECT_EQ(AddWindowFields(), std::make_pair(pages_->Url("/title/child"), std::string("plain child link")));

  // Saved where the user says, over the file the user chose to replace,
  // without leaving the page; nothing is received before the answer.
  ui::MenuTarget file;
  file.link = pages_->Url("/download/64");
  menu.Build(file);
  ASSERT_TRUE(menu.Activate("链接另存为…"));
  auto& host = ui_host_;
  ASSERT_TRUE(RunUntil([&] { return host.save_questions.size() == 1; }));
  EXPECT_EQ(host.save_questions[0].title, "另存为");
  EXPECT_EQ(host.save_questions[0].name, "data.bin");
  EXPECT_EQ(host.save_questions[0].folder, context_->config().download_dir);
  auto& downloads = window_->downloads().items();
  ASSERT_EQ(downloads.size(), 1u);
  EXPECT_EQ(downloads[0]->received_bytes(), 0u);
  const auto chosen = home_->path() / "mine" / "saved.bin";
  std::filesystem::create_directories(chosen.parent_path());
  WriteFileBytes(chosen, "old");
  host.save_answers[0](chosen);
  ASSERT_TRUE(RunUntil([&] { return downloads[0]->finished(); }));
  EXPECT_EQ(downloads[0]->state(), ui::DownloadItem::State::kCompleted) << downloads[0]->problem();
  EXPECT_EQ(ReadFileBytes(chosen), PageServer::DownloadBytes(64));
  EXPECT_FALSE(std::filesystem::exists(chosen.string() + ".part"));
  EXPECT_EQ(tab.page().Title(), "menu");
  // Cancelled in the chooser: cancelled, nothing written anywhere.
  ASSERT_TRUE(menu.Activate("链接另存为…"));
  ASSERT_TRUE(RunUntil([&] { return host.save_answers.size() == 2; }));
  host.save_answers[1]({});
  ASSERT_TRUE(RunUntil([&] { return downloads.size() == 2 && downloads[1]->finished(); }));
  EXPECT_EQ(downloads[1]->state(), ui::DownloadItem::State::kCancelled);
  EXPECT_FALSE(std::filesystem::exists(context_->config().download_dir / "data.bin"));

  // A script link runs nowhere else: nothing opens, nothing is saved or kept.
  ui::PageContextMenu& script = RightClick(tab, 20, 58);
  EXPECT_FALSE(Enabled(script, "在新标签页中打开链接"));
  EXPECT_FALSE(script.Activate("在新标签页中打开链接"));
  EXPECT_FALSE(Enabled(script, "链接另存为…"));
  EXPECT_FALSE(Enabled(script, "将链接添加到收藏夹"));
  EXPECT_TRUE(Enabled(script, "复制链接地址"));
  RunUntil([] { return false; }, 300);
  EXPECT_EQ(strip.BrowsingTabCount(), 3);
  EXPECT_EQ(tab.page().Title(), "menu") << "the link's script did not run";

  // A data: page that could pass for a site opens nowhere either; a plain image does.
  ui::MenuTarget html_data;
  html_data.link = "data:text/html,<h1>bank</h1>";
  menu.Build(html_data);
  EXPECT_FALSE(Enabled(menu, "在新标签页中打开链接"));
  ui::MenuTarget image_data;
  image_data.image = "data:image/png;base64," + std::string(100 * 1024, 'A');
  menu.Build(image_data);
  EXPECT_TRUE(Enabled(menu, "在新标签页中打开图片"));
  ASSERT_TRUE(menu.Activate("复制图片地址"));
  EXPECT_EQ(Clipboard().size(), image_data.image.size());
}

TEST_F(ContextMenuTest, AnImageOpensBesideAndItsAddressIsCopied) {
  ui::BrowserTab& tab = OpenMenuPage();
  ui::TabStrip& strip = window_->tab_strip();
  ui::PageContextMenu& menu = RightClick(tab, 30, 110);
  EXPECT_EQ(menu.Labels(), (Labels{"在新标签页中打开图片", "图片另存为…", "复制图片", "复制图片地址"}));
  ASSERT_TRUE(menu.Activate("在新标签页中打开图片"));
  ASSERT_EQ(strip.BrowsingTabCount(), 3);
  EXPECT_TRUE(RunUntil([&] { return strip.TabAt(1).page().Uri() == pages_->Url("/icon.png"); }));
  EXPECT_EQ(&strip.CurrentTab(), &tab);
  ASSERT_TRUE(menu.Activate("复制图片地址"));
  EXPECT_EQ(Clipboard(), pages_->Url("/icon.png"));
}

TEST_F(ContextMenuTest, ASelectionIsCopiedOrSearchedInANewTabBesideAndAHugeOneIsCutShort) {
  ui::BrowserTab& tab = OpenMenuPage();
  ui::TabStrip& strip = window_->tab_strip();
  RunScript(tab.page().view(), "getSelection().selectAllChildren(document.getElementById('t'));");
  ui::PageContextMenu& menu = RightClick(tab, 30, 160);
  EXPECT_EQ(menu.Labels(), (Labels{"复制", "用搜索引擎搜索“rust ownership words”"}));
  ASSERT_TRUE(menu.Activate("用搜索引擎搜索“rust ownership words”"));
  ASSERT_EQ(strip.BrowsingTabCount(), 3);
  ui::BrowserTab& found = strip.TabAt(1);
  EXPECT_EQ(&strip.CurrentTab(), &found) << "a search is looked at";
  EXPECT_TRUE(WaitForTabTitle(found, "found"));
  EXPECT_EQ(found.page().Uri(),
            core::SearchAddress(context_->config().search_query, "rust ownership words"));

  // 1 MiB selected: the caption shows 20 characters, at most 1,000 are searched.
  strip.SelectTab(0);
  RunScript(tab.page().view(),
            "var t=document.getElementById('t');t.textContent='汉'.repeat(1<<19)+'x';"
            "getSelection().selectAllChildren(t);");
  ui::PageContextMenu& huge = RightClick(tab, 30, 160);
  std::string terms;
  for (int i = 0; i < 1000; ++i) terms += "汉";
  const std::string caption = core::SearchCaption(terms);
  ASSERT_EQ(huge.Labels().size(), 2u);
  EXPECT_EQ(huge.Labels()[1], caption);
  ASSERT_TRUE(huge.Activate(caption));
  ASSERT_EQ(strip.BrowsingTabCount(), 4);
  const std::string address = strip.CurrentTab().page().Uri();
  EXPECT_EQ(strip.IndexOf(strip.CurrentTab()), 1);
  EXPECT_EQ(address, core::SearchAddress(context_->config().search_query, terms));
}

TEST_F(ContextMenuTest, AnEditBoxGetsTheEditingItemsAndUndoWorks) {
  ui::BrowserTab& tab = OpenMenuPage();
  RunScript(tab.page().view(), "var e=document.getElementById('e');e.focus();e.select();");
  ui::PageContextMenu& menu = RightClick(tab, 60, 210);
  // The selected text of the box can be searched too.
  EXPECT_EQ(menu.Labels(), (Labels{"撤销", "-", "剪切", "复制", "粘贴", "删除", "-", "全选", "-",
                                   "用搜索引擎搜索“typed”"}));
  for (const char* stock : {"剪切", "复制", "粘贴", "删除", "全选"}) {
    const ui::PageContextMenu::Item* item = menu.Find(stock);
    ASSERT_NE(item, nullptr) << stock;
    EXPECT_NE(item->stock, WEBKIT_CONTEXT_MENU_ACTION_CUSTOM) << stock << " is the engine's own";
  }
  // Typed over, then undone.
  RunScript(tab.page().view(), "document.execCommand('insertText', false, 'new');");
  const std::string value = "document.getElementById('e').value";
  ASSERT_EQ(EvaluateScript(tab.page().view(), value), "new");
  ASSERT_TRUE(menu.Activate("撤销"));
  EXPECT_TRUE(RunUntil([&] { return EvaluateScript(tab.page().view(), value) == "typed"; }));

  // A misspelt word: the engine's suggestions come first, as long as
  // spelling is checked (on unless the settings turn it off). Its
  // dictionaries load when the user first types into a page, not before.
  // (The engine's setting belongs to the whole test program: an earlier
  // test may have typed already.)
  ASSERT_TRUE(PointerAt(tab.page().widget(), 25, 210, "click 1"));
  ASSERT_TRUE(XDoTool("key x"));
  ASSERT_TRUE(RunUntil([] { return webkit_web_context_get_spell_checking_enabled(webkit_web_context_get_default()); }))
      << "spelling is checked once the user types";
  const char* misspell = "var e=document.getElementById('e');e.value='wrold';e.focus();e.setSelectionRange(0,5);";
  RunScript(tab.page().view(), misspell);
  ui::PageContextMenu& misspelt = RightClick(tab, 25, 210);
  ASSERT_FALSE(misspelt.Labels().empty());
  EXPECT_EQ(misspelt.Labels().front(), "拼写建议");
  const ui::PageContextMenu::Item* guess = misspelt.Find("拼写建议");
  ASSERT_NE(guess, nullptr);
  EXPECT_EQ(guess->stock, WEBKIT_CONTEXT_MENU_ACTION_SPELLING_GUESS) << "the engine's own item";
  ui::EngineProfile::SetSpellChecking(false);
  RunScript(tab.page().view(), misspell);
  EXPECT_EQ(RightClick(tab, 25, 210).Find("拼写建议"), nullptr);
  ui::EngineProfile::SetSpellChecking(true);
}

TEST_F(ContextMenuTest, ThePageOffersNavigationAFavouriteAndItsSourceReadOnce) {
  ui::BrowserTab& tab = OpenMenuPage();
  ui::TabStrip& strip = window_->tab_strip();
  ui::PageContextMenu& menu = RightClick(tab, 600, 400);
  EXPECT_EQ(menu.Labels(), (Labels{"后退", "前进", "重新加载", "-", "添加到收藏夹", "查看网页源代码"}));
  EXPECT_FALSE(Enabled(menu, "后退")) << "the first page of the tab";
  EXPECT_FALSE(menu.Activate("前进"));

  ASSERT_TRUE(menu.Activate("添加到收藏夹"));
  EXPECT_EQ(AddWindowFields(), std::make_pair(pages_->Url("/menu"), std::string("menu")));

  ASSERT_TRUE(menu.Activate("查看网页源代码"));
  ASSERT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 3; }));
  ui::BrowserTab& source = strip.TabAt(1);
  EXPECT_EQ(&strip.CurrentTab(), &source);
  ASSERT_TRUE(WaitForTabTitle(source, core::SourceTitle(pages_->Url("/menu"))));
  EXPECT_EQ(source.page().Title(), "源代码 - " + pages_->Url("/menu"));
  const std::string text = EvaluateScript(source.page().view(), "document.body.innerText");
  EXPECT_NE(text.find("<a id=\"p\" href=\"/title/child\""), std::string::npos) << text.substr(0, 300);
  EXPECT_EQ(pages_->Hits("/menu"), 1) << "the source is the engine's copy, never fetched again";

  // Ctrl+U does the same; the source of a source is not offered.
  strip.SelectTab(0);
  window_->activate_action("win.view-source");
  EXPECT_TRUE(RunUntil([&] { return strip.BrowsingTabCount() == 4; }));
  EXPECT_EQ(strip.IndexOf(strip.CurrentTab()), 1);
  EXPECT_EQ(pages_->Hits("/menu"), 1);
  EXPECT_FALSE(strip.CurrentTab().page().CanViewSource());

  // Back once there is a page behind; the inspector's item only with developer extras.
  strip.SelectTab(0);
  tab.page().Load(pages_->Url("/title/Next"));
  ASSERT_TRUE(WaitForTabTitle(tab, "Next"));
  context_->engine().SetDeveloperExtras(true);
  ui::PageContextMenu& later = RightClick(tab, 600, 400);
  EXPECT_TRUE(Enabled(later, "后退"));
  EXPECT_EQ(later.Labels().back(), "检查元素");
  ASSERT_TRUE(later.Activate("后退"));
  EXPECT_TRUE(WaitForTabTitle(tab, "menu"));
}

TEST_F(ContextMenuTest, AVideoOrAudioOffersPlayOrPauseMuteOrUnmuteAsItStands) {
  ui::BrowserTab& tab = OpenMenuPage();
  RunScript(tab.page().view(),
            "var v=document.createElement('video');v.id='v';v.src='/media/vp9-opus.webm';v.loop=true;"
            "v.style='position:absolute;left:10px;top:300px;width:160px;height:120px';"
            "v.onloadeddata=function(){document.title='loaded';};document.body.appendChild(v);");
  ASSERT_TRUE(WaitForTabTitle(tab, "loaded"));
  ui::PageContextMenu& menu = RightClick(tab, 60, 340);
  EXPECT_EQ(menu.Labels(), (Labels{"播放", "静音", "视频另存为…", "复制视频地址"}));
  ASSERT_TRUE(menu.Activate("复制视频地址"));
  EXPECT_EQ(Clipboard(), pages_->Url("/media/vp9-opus.webm"));

  RunScript(tab.page().view(), "var v=document.getElementById('v');v.muted=true;v.play();");
  EXPECT_EQ(RightClick(tab, 60, 340).Labels(), (Labels{"暂停", "取消静音", "视频另存为…", "复制视频地址"}));

  RunScript(tab.page().view(),
            "document.getElementById('v').remove();var a=document.createElement('audio');a.controls=true;"
            "a.src='/media/vp9-opus.webm';a.style='position:absolute;left:10px;top:300px;width:300px;height:40px';"
            "a.onloadeddata=function(){document.title='audio';};document.body.appendChild(a);");
  ASSERT_TRUE(WaitForTabTitle(tab, "audio"));
  EXPECT_EQ(RightClick(tab, 30, 320).Labels(), (Labels{"播放", "静音", "音频另存为…", "复制音频地址"}));
}

TEST_F(ContextMenuTest, ErrorPagesOfferNoSourceAndNoFavourite) {
  ui::MainWindow& window = Open(pages_->Url("/title/One"));
  ui::BrowserTab& tab = window.tab_strip().FirstTab();
  ASSERT_TRUE(WaitForTabTitle(tab, "One"));
  tab.page().Load("http://127.0.0.1:1/");
  ASSERT_TRUE(RunUntil([&] { return tab.page().ShowingErrorPage(); }));
  ui::PageContextMenu& menu = tab.page().context_menu();
  menu.Build({});
  EXPECT_FALSE(Enabled(menu, "查看网页源代码"));
  EXPECT_FALSE(Enabled(menu, "添加到收藏夹"));
  tab.page().ViewSource();
  RunUntil([] { return false; }, 300);
  EXPECT_EQ(window.tab_strip().BrowsingTabCount(), 1);
}

}  // namespace
}  // namespace nuve::test
