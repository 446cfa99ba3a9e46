#include "ui/settings/content_blocking_settings_section.h"

#include <map>

#include "core/app/log.h"
#include "ui/app/accessible.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {
namespace {

using State = ContentFilters::ListInfo::State;
using Origin = core::FilterListSource::Origin;

// What each kind of skipped filter is called in the tooltip.
std::string SkipKindName(const std::string& kind) {
  static const std::map<std::string, std::string> kNames = {
      {"scriptlet", "脚本注入"},    {"procedural", "扩展选择器"}, {"snippet", "代码片段"},
      {"html-filter", "HTML 过滤"}, {"csp", "内容安全策略"},      {"redirect", "重定向"},
      {"removeparam", "移除参数"},  {"option", "不支持的选项"},   {"object", "插件"},
      {"regex", "正则表达式"},      {"selector", "无效的选择器"}, {"domain", "域名条件"},
      {"pattern", "地址模式"},      {"malformed", "无法读取的行"}, {"limit", "超出规则数上限"},
  };
  const auto it = kNames.find(kind);
  return it == kNames.end() ? kind : it->second;
}

// "csp=3,domain=238" as "内容安全策略 3，域名条件 238".
std::string SkippedKindsText(const std::string& kinds) {
  std::string out;
  std::size_t start = 0;
  while (start < kinds.size()) {
    const std::size_t end = std::min(kinds.find(',', start), kinds.size());
    const std::string item = kinds.substr(start, end - start);
    const std::size_t eq = item.find('=');
    if (eq != std::string::npos) {
      if (!out.empty()) out += "，";
      out += SkipKindName(item.substr(0, eq)) + " " + item.substr(eq + 1);
    }
    start = end + 1;
  }
  return out;
}

std::string OriginName(Origin origin) {
  switch (origin) {
    case Origin::kLocal:
      return "本地文件";
    case Origin::kPackaged:
      return "Debian 软件包";
    case Origin::kSubscription:
      return "订阅";
  }
  return {};
}

std::string StateText(const ContentFilters::ListInfo& info) {
  switch (info.state) {
    case State::kWaiting:
      return info.source.origin == Origin::kSubscription ? "尚未下载" : "等待处理";
    case State::kLoading:
    case State::kPreparing:
    case State::kCompiling:
      return "正在准备…";
    case State::kActive:
      return "已启用";
    case State::kFailed:
      return "无法使用";
  }
  return {};
}

Gtk::Label* DimLabel(const std::string& text) {
  auto* label = Gtk::make_managed<Gtk::Label>(text);
  label->set_xalign(0);
  label->set_wrap(true);
  label->add_css_class("dim-label");
  return label;
}

}  // namespace

std::string ContentBlockingSettingsSection::Summary(const ContentFilters::ListInfo& info) {
  std::string text = StateText(info);
  if (info.record.filter_count > 0) {
    text += " · 规则 " + std::to_string(info.record.converted_count) + " 条，跳过 " +
            std::to_string(info.record.skipped_count) + " 条";
  }
  if (info.last_updated > 0) {
    text += " · 更新于 " + Glib::DateTime::create_now_local(info.last_updated).format("%Y-%m-%d %H:%M");
  }
  if (info.source.origin == Origin::kSubscription && !info.error.empty()) text += " · 上次更新失败";
  return text;
}

ContentBlockingSettingsSection::ContentBlockingSettingsSection(ContentFilters& filters, UiHost& ui_host)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 8), filters_(filters), ui_host_(ui_host) {
  set_name("content-blocking-settings");
  for (Gtk::Label* label : {&heading_, &lists_heading_, &sites_heading_}) label->set_xalign(0);
  heading_.add_css_class("heading");
  enabled_.set_name("content-blocking-enabled");
  enabled_.signal_toggled().connect(sigc::mem_fun(*this, &ContentBlockingSettingsSection::OnEnabledToggled));
  updates_.set_name("filter-list-updates");
  updates_.signal_toggled().connect(sigc::mem_fun(*this, &ContentBlockingSettingsSection::OnUpdatesToggled));
  lists_.set_name("filter-lists");
  lists_.set_selection_mode(Gtk::SelectionMode::NONE);
  SetAccessibleLabel(lists_, "过滤规则列表");
  address_.set_name("subscription-address");
  address_.set_hexpand(true);
  address_.set_placeholder_text("订阅地址（http 或 https）");
  SetAccessibleLabel(address_, "订阅地址");
  address_.signal_activate().connect(sigc::mem_fun(*this, &ContentBlockingSettingsSection::OnAddClicked));
  add_.set_name("add-subscription");
  add_.signal_clicked().connect(sigc::mem_fun(*this, &ContentBlockingSettingsSection::OnAddClicked));
  add_row_.append(address_);
  add_row_.append(add_);
  sites_.set_name("excepted-sites");
  sites_.set_selection_mode(Gtk::SelectionMode::NONE);
  SetAccessibleLabel(sites_, "已停用广告拦截的网站");
  append(heading_);
  append(enabled_);
  append(updates_);
  append(lists_heading_);
  append(lists_);
  append(add_row_);
  append(sites_heading_);
  append(sites_);
  // The rows are built anew from idle: a change may come from a row's own
  // button, which must not go while its click is being handled. Both slots
  // belong to the section and disconnect themselves with it.
  filters_.signal_changed().connect([this] {
    if (refresh_queued_) return;
    refresh_queued_ = true;
    Glib::signal_idle().connect_once(sigc::mem_fun(*this, &ContentBlockingSettingsSection::Refresh));
  });
  Refresh();
}

Gtk::Window* ContentBlockingSettingsSection::ParentWindow() { return dynamic_cast<Gtk::Window*>(get_root()); }

void ContentBlockingSettingsSection::Refresh() {
  refresh_queued_ = false;
  refreshing_ = true;
  enabled_.set_active(filters_.enabled());
  const bool updates = filters_.automatic_updates() == std::optional<bool>(true);
  updates_.set_active(updates);
  refreshing_ = false;
  // Downloading is for users who turned updates on; until then the button
  // says why it cannot add anything.
  add_.set_sensitive(updates);
  address_.set_sensitive(updates);
  add_.set_tooltip_text(updates ? "下载并使用这个地址的过滤规则" : "请先开启自动更新订阅的过滤规则");
  FillLists();
  FillSites();
}

void ContentBlockingSettingsSection::FillLists() {
  while (Gtk::Widget* row = lists_.get_row_at_index(0)) lists_.remove(*row);
  for (const ContentFilters::ListInfo& info : filters_.lists()) {
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    auto* text = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
    text->set_hexpand(true);
    auto* name = Gtk::make_managed<Gtk::Label>(info.source.name + "（" + OriginName(info.source.origin) + "）");
    name->set_xalign(0);
    name->set_ellipsize(Pango::EllipsizeMode::MIDDLE);
    text->append(*name);
    Gtk::Label* summary = DimLabel(Summary(info));
    std::string tooltip = SkippedKindsText(info.record.skipped_kinds);
    if (!info.error.empty()) tooltip += (tooltip.empty() ? "" : "\n") + info.error;
    if (!tooltip.empty()) summary->set_tooltip_text(tooltip);
    text->append(*summary);
    row->append(*text);
    if (info.source.origin == Origin::kSubscription) {
      auto* remove = Gtk::make_managed<Gtk::Button>("移除");
      remove->set_name("remove-subscription");
      remove->set_valign(Gtk::Align::CENTER);
      SetAccessibleLabel(*remove, "移除订阅 " + info.source.name);
      remove->signal_clicked().connect([this, id = info.source.subscription_id] {
        if (core::Status s = filters_.RemoveSubscription(id); !s.ok()) {
          ui_host_.Error(ParentWindow(), "无法移除订阅：" + s.error().detail);
        }
      });
      row->append(*remove);
    }
    lists_.append(*row);
  }
  if (filters_.lists().empty()) lists_.append(*DimLabel("没有过滤规则。可以把规则文件放进数据文件夹的“过滤规则”文件夹。"));
}

void ContentBlockingSettingsSection::FillSites() {
  while (Gtk::Widget* row = sites_.get_row_at_index(0)) sites_.remove(*row);
  for (const std::string& site : filters_.ExceptedSites()) {
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    auto* name = Gtk::make_managed<Gtk::Label>(site);
    name->set_xalign(0);
    name->set_hexpand(true);
    row->append(*name);
    auto* restore = Gtk::make_managed<Gtk::Button>("恢复拦截");
    restore->set_name("restore-blocking");
    SetAccessibleLabel(*restore, "在 " + site + " 上恢复广告拦截");
    restore->signal_clicked().connect([this, site] {
      if (core::Status s = filters_.SetSiteExcepted(site, false); !s.ok()) {
        ui_host_.Error(ParentWindow(), "无法保存设置：" + s.error().detail);
      }
    });
    row->append(*restore);
    sites_.append(*row);
  }
  if (filters_.ExceptedSites().empty()) sites_.append(*DimLabel("无"));
}

void ContentBlockingSettingsSection::OnEnabledToggled() {
  if (!refreshing_) filters_.SetEnabled(enabled_.get_active());
}

void ContentBlockingSettingsSection::OnUpdatesToggled() {
  if (!refreshing_) filters_.SetAutomaticUpdates(updates_.get_active());
}

void ContentBlockingSettingsSection::OnAddClicked() {
  if (!add_.get_sensitive()) return;
  const std::string address = address_.get_text();
  if (core::Status s = filters_.AddSubscription(address); !s.ok()) {
    ui_host_.Error(ParentWindow(), s.error().kind == core::ErrorKind::kInvalidName
                                       ? "这不是有效的订阅地址，请输入以 http:// 或 https:// 开头的地址。"
                                       : "无法保存订阅：" + s.error().detail);
    return;
  }
  address_.set_text("");
}

}  // namespace nuve::ui
