// The "广告拦截" settings section over real content filters: a list's row
// shows its counts, a subscription is added (through a stand-in proxy for
// its publisher) and removed, and a site where blocking is off can be given
// its blocking back.
#include "ui/settings/content_blocking_settings_section.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/app/config.h"
#include "core/settings/ini_file.h"
#include "core/util/task_runner.h"
#include "support/site_proxy.h"
#include "support/temp_home.h"
#include "ui/app/glib_ui_poster.h"
#include "window_test_support.h"

namespace nuve::test {
namespace {

using ui::ContentBlockingSettingsSection;
using ui::ContentFilters;

std::vector<std::string> RowTexts(Gtk::ListBox& list) {
  std::vector<std::string> texts;
  for (int i = 0; Gtk::ListBoxRow* row = list.get_row_at_index(i); ++i) {
    std::string text;
    std::vector<Gtk::Widget*> pending = {row};
    while (!pending.empty()) {
      Gtk::Widget* w = pending.back();
      pending.pop_back();
      if (auto* label = dynamic_cast<Gtk::Label*>(w)) text += label->get_text() + "|";
      for (Gtk::Widget* child = w->get_last_child(); child != nullptr; child = child->get_prev_sibling()) {
        pending.push_back(child);
      }
    }
    texts.push_back(text);
  }
  return texts;
}

Gtk::Button* ButtonNamed(Gtk::Widget& root, const std::string& name) {
  std::vector<Gtk::Widget*> pending = {&root};
  while (!pending.empty()) {
    Gtk::Widget* w = pending.back();
    pending.pop_back();
    if (w->get_name() == Glib::ustring(name)) return dynamic_cast<Gtk::Button*>(w);
    for (Gtk::Widget* child = w->get_first_child(); child != nullptr; child = child->get_next_sibling()) {
      pending.push_back(child);
    }
  }
  return nullptr;
}

TEST(ContentBlockingSettingsSection, ShowsTheListsAndChangesWhatTheFiltersDo) {
  TempHome home;
  std::filesystem::create_directories(home.path() / "过滤规则");
  WriteFileBytes(home.path() / "过滤规则" / "mine.txt", "||ads.example^\n##.ad\n##a[\n");
  SiteProxy proxy;
  proxy.Serve("lists.example", "/extra.txt", {200, "text/plain", "! Title: Extra\n||track.example^\n", {}, 0});
  const core::Config config = core::Config::FromEnvironment();
  ui::GlibUiPoster poster;
  core::TaskRunner tasks(poster);
  ContentFilters filters(config, tasks, [&] {
    core::ReadUrlOptions options;
    options.proxy = proxy.address();
    return options;
  });
  ASSERT_TRUE(filters.SetSiteExcepted("news.test", true).ok());
  filters.Start();
  RecordingUiHost host;
  ContentBlockingSettingsSection section(filters, host);
  auto settled = [&] { return filters.ready() && filters.idle(); };
  ASSERT_TRUE(RunUntil(settled));
  RunPending();

  ASSERT_EQ(RowTexts(section.lists()).size(), 1u);
  const std::string row = RowTexts(section.lists())[0];
  EXPECT_NE(row.find("mine.txt（本地文件）"), std::string::npos) << row;
  EXPECT_NE(row.find("已启用 · 规则 2 条，跳过 1 条 · 更新于 "), std::string::npos) << row;
  EXPECT_TRUE(section.enabled_check().get_active());

  // Blocking off everywhere is saved at once.
  section.enabled_check().set_active(false);
  EXPECT_FALSE(filters.enabled());
  EXPECT_EQ(core::IniFile(config.config_dir / "Adblock.ini").Read("广告拦截", "开启"), "0");
  section.enabled_check().set_active(true);

  // Subscriptions need automatic updates; the button says so until then.
  // Turned on with nothing subscribed, they bring the offered lists, which
  // are fetched through the proxy (here the stand-in, answering 404).
  EXPECT_FALSE(section.add_button().get_sensitive());
  section.updates_check().set_active(true);
  ASSERT_TRUE(RunUntil([&] {
    RunPending();
    return RowTexts(section.lists()).size() == 4 && settled();
  }));
  ASSERT_TRUE(section.add_button().get_sensitive());
  for (int i = 1; i <= 3; ++i) {
    const std::string offered = RowTexts(section.lists())[i];
    EXPECT_NE(offered.find("（订阅）|尚未下载 · 上次更新失败"), std::string::npos) << offered;
  }
  EXPECT_NE(RowTexts(section.lists())[2].find("EasyList China"), std::string::npos);
  section.address_entry().set_text("ftp://lists.example/extra.txt");
  g_signal_emit_by_name(section.add_button().gobj(), "clicked");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].find("不是有效的订阅地址"), std::string::npos);
  section.address_entry().set_text("http://lists.example/extra.txt");
  g_signal_emit_by_name(section.add_button().gobj(), "clicked");
  ASSERT_TRUE(RunUntil([&] {
    RunPending();
    const auto rows = RowTexts(section.lists());
    return rows.size() == 5 && rows[4].find("已启用") != std::string::npos;
  }));
  EXPECT_EQ(proxy.Hits("lists.example", "/extra.txt"), 1);
  EXPECT_NE(RowTexts(section.lists())[4].find("http://lists.example/extra.txt（订阅）|已启用 · 规则 1 条"),
            std::string::npos);
  EXPECT_EQ(section.address_entry().get_text(), "");

  // Removing it takes the list away again.
  Gtk::Button* remove = ButtonNamed(*section.lists().get_row_at_index(4), "remove-subscription");
  ASSERT_NE(remove, nullptr);
  g_signal_emit_by_name(remove->gobj(), "clicked");
  ASSERT_TRUE(RunUntil([&] {
    RunPending();
    return RowTexts(section.lists()).size() == 4 && settled();
  }));
  EXPECT_EQ(filters.subscriptions().size(), 3u);

  // The site where blocking is off gets it back.
  ASSERT_NE(RowTexts(section.sites())[0].find("news.test"), std::string::npos);
  Gtk::Button* restore = ButtonNamed(section.sites(), "restore-blocking");
  ASSERT_NE(restore, nullptr);
  g_signal_emit_by_name(restore->gobj(), "clicked");
  RunPending();
  EXPECT_TRUE(filters.ExceptedSites().empty());
  EXPECT_EQ(RowTexts(section.sites())[0], "无|");
  EXPECT_TRUE(host.messages.size() == 1u);
}

}  // namespace
}  // namespace nuve::test
