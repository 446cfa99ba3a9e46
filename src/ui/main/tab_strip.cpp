#include "ui/main/tab_strip.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "core/app/address.h"
#include "core/app/log.h"
#include "core/start_page/start_page.h"
#include "ui/app/app_context.h"

namespace nuve::ui {

TabStrip::TabStrip(AppContext& context, EngineProfile& profile)
    : context_(context),
      profile_(profile),
      ready_start_page_(profile, context.config().page_timeout_ms, core::kStartPageAddress) {
  notebook_.set_name("高级选择夹1");
  notebook_.set_scrollable(true);
  notebook_.set_hexpand(true);
  notebook_.set_vexpand(true);
  AppendEmptyTab();
  notebook_.append_page(new_tab_page_, new_tab_label_);
  new_tab_label_.set_tooltip_text("新建选项卡 (Ctrl+T)");

  // Runs after the switch, so get_current_page() already names the new tab.
  switch_page_connection_ =
      notebook_.signal_switch_page().connect(sigc::mem_fun(*this, &TabStrip::OnSwitchPage), true);

  // A double-click on the strip closes the current tab. The capture phase is
  // needed: in the bubble phase a double-click on another tab arrives as two
  // single clicks, because the tab switch resets the gesture.
  double_click_ = Gtk::GestureClick::create();
  double_click_->set_button(GDK_BUTTON_PRIMARY);
  double_click_->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
  double_click_->signal_pressed().connect(sigc::mem_fun(*this, &TabStrip::OnPressed));
  notebook_.add_controller(double_click_);

  // A middle click on a tab's header closes that tab.
  middle_click_ = Gtk::GestureClick::create();
  middle_click_->set_button(GDK_BUTTON_MIDDLE);
  middle_click_->signal_pressed().connect(sigc::mem_fun(*this, &TabStrip::OnMiddlePressed));
  notebook_.add_controller(middle_click_);

  // A right click on a header opens that tab's menu.
  secondary_click_ = Gtk::GestureClick::create();
  secondary_click_->set_button(GDK_BUTTON_SECONDARY);
  secondary_click_->signal_pressed().connect(sigc::mem_fun(*this, &TabStrip::OnSecondaryPressed));
  notebook_.add_controller(secondary_click_);
  // From the keyboard, the menu key or Shift+F10 on the strip's headers
  // opens the current tab's menu, as a right click on its header does.
  auto keys = Gtk::EventControllerKey::create();
  keys->signal_key_pressed().connect(sigc::mem_fun(*this, &TabStrip::OnKeyPressed), false);
  notebook_.add_controller(keys);
  notebook_.signal_page_reordered().connect(sigc::mem_fun(*this, &TabStrip::OnPageReordered));
  BuildHeaderActions();
  // The ready start page follows what the start page shows.
  context_.signal_favourites_changed().connect(sigc::mem_fun(ready_start_page_, &ReadyStartPage::Refresh));
  context_.start_page().signal_pages_removed().connect(sigc::mem_fun(ready_start_page_, &ReadyStartPage::Refresh));
  page_visited_.connect(sigc::hide(sigc::mem_fun(ready_start_page_, &ReadyStartPage::RefreshLater)));
  header_menu_.set_parent(notebook_);
  header_menu_.set_has_arrow(false);
  header_menu_.set_position(Gtk::PositionType::BOTTOM);
  header_menu_.set_halign(Gtk::Align::START);
}

TabStrip::~TabStrip() {
  // switch-page also fires while pages are removed during teardown.
  switch_page_connection_.disconnect();
  current_ = nullptr;
  header_menu_.unparent();
  for (auto& tab : tabs_) notebook_.remove_page(tab->widget());
  tabs_.clear();
}

BrowserTab* TabStrip::TabOfPage(const Gtk::Widget* page) {
  const auto it = std::find_if(tabs_.begin(), tabs_.end(), [&](const auto& t) { return &t->widget() == page; });
  return it == tabs_.end() ? nullptr : it->get();
}

BrowserTab& TabStrip::TabAt(int index) {
  BrowserTab* tab = index >= 0 ? TabOfPage(notebook_.get_nth_page(index)) : nullptr;
  if (tab == nullptr) throw std::out_of_range("no browsing tab at " + std::to_string(index));
  return *tab;
}

std::vector<BrowserTab*> TabStrip::Tabs() {
  std::vector<BrowserTab*> ordered;
  for (int i = 0; i < notebook_.get_n_pages(); ++i) {
    if (BrowserTab* tab = TabOfPage(notebook_.get_nth_page(i))) ordered.push_back(tab);
  }
  return ordered;
}

BrowserTab* TabStrip::FindTab(BrowserTab::Id id) {
  const auto it = std::find_if(tabs_.begin(), tabs_.end(), [id](const auto& t) { return t->id() == id; });
  return it == tabs_.end() ? nullptr : it->get();
}

int TabStrip::IndexOf(const BrowserTab& tab) const {
  const bool owned = std::any_of(tabs_.begin(), tabs_.end(), [&](const auto& t) { return t.get() == &tab; });
  // The notebook's page_num takes a non-const widget, though it changes nothing.
  return owned ? notebook_.page_num(const_cast<BrowserTab&>(tab).widget()) : -1;
}

BrowserTab& TabStrip::CurrentTab() { return current_ != nullptr ? *current_ : FirstTab(); }

BrowserTab& TabStrip::AddTab(std::unique_ptr<BrowserTab> tab, int position) {
  BrowserTab& added = *tab;
  tabs_.push_back(std::move(tab));
  // Never after the new-tab tab, which stays last.
  int last = notebook_.page_num(new_tab_page_);
  if (last < 0) last = notebook_.get_n_pages();
  if (position < 0 || position > last) position = last;
  notebook_.insert_page(added.widget(), added.header(), position);
  notebook_.set_tab_reorderable(added.widget(), true);
  if (current_ == nullptr) current_ = &added;
  WireTab(added);
  UpdateCloseButtons();
  tabs_changed_.emit();
  return added;
}

std::unique_ptr<BrowserTab> TabStrip::MakeTab() {
  return std::make_unique<BrowserTab>(next_id_++, profile_, context_.config().page_timeout_ms);
}

BrowserTab& TabStrip::AppendEmptyTab() {
  return AddTab(MakeTab());
}

void TabStrip::WireTab(BrowserTab& tab) {
  // Handlers find the tab again by its identity: a closed tab's late signal
  // finds nothing.
  const BrowserTab::Id id = tab.id();
  WebPage& page = tab.page();
  page.signal_title_changed().connect([this, id] {
    BrowserTab* t = FindTab(id);
    if (t == nullptr) return;
    if (IsCurrent(*t)) title_changed_.emit(*t);
    page_titled_.emit(*t);
    tabs_changed_.emit();
  });
  page.signal_uri_changed().connect([this, id] {
    BrowserTab* t = FindTab(id);
    if (t != nullptr && IsCurrent(*t)) uri_changed_.emit(*t);
    tabs_changed_.emit();
  });
  page.signal_page_committed().connect([this, id] {
    if (BrowserTab* t = FindTab(id)) page_visited_.emit(*t);
  });
  page.signal_load_state_changed().connect([this, id] {
    BrowserTab* t = FindTab(id);
    if (t != nullptr && IsCurrent(*t)) load_state_changed_.emit(*t);
  });
  // The link under the pointer, as the engine last reported it. It is gone
  // once the pointer leaves the page, and once the tab starts on a new page;
  // the engine reports nothing when the pointer comes back onto the same
  // link, so the link shows again then.
  auto hovered = std::make_shared<std::string>();
  page.signal_status_text().connect([this, hovered](const std::string& text) {
    *hovered = text;
    status_text_.emit(text);
  });
  auto motion = Gtk::EventControllerMotion::create();
  motion->signal_leave().connect([this, id] {
    BrowserTab* t = FindTab(id);
    if (t != nullptr && IsCurrent(*t)) status_text_.emit("");
  });
  motion->signal_enter().connect([this, id, hovered](double, double) {
    BrowserTab* t = FindTab(id);
    if (t != nullptr && IsCurrent(*t) && !hovered->empty()) status_text_.emit(*hovered);
  });
  tab.widget().add_controller(motion);
  page.signal_state_changed().connect([this, id, hovered] {
    BrowserTab* t = FindTab(id);
    if (t == nullptr || t->page().state() != PageState::kLoading) return;
    hovered->clear();
    if (IsCurrent(*t)) status_text_.emit("");
  });
  page.signal_fullscreen_changed().connect([this, id] {
    if (BrowserTab* t = FindTab(id)) fullscreen_changed_.emit(*t);
  });
  page.signal_open_in_background().connect([this](const std::string& uri) { OpenTab(uri, false); });
  // Never destroy a tab inside its own signal: close it once the signal is over.
  auto close_later = [this, id] {
    Glib::signal_idle().connect_once(lifetime_.Bind([this, id] {
      if (BrowserTab* t = FindTab(id)) CloseTab(*t);
    }));
  };
  page.signal_close_requested().connect(close_later);
  tab.header().signal_close_clicked().connect(close_later);
  page.set_create_handler([this](WebPage& parent) { return OnCreateRequested(parent.view()); });
  WireContextMenu(tab);
}

void TabStrip::WireContextMenu(BrowserTab& tab) {
  const BrowserTab::Id id = tab.id();
  PageContextMenu& menu = tab.page().context_menu();
  auto beside = [this, id](const std::string& address, bool foreground) {
    if (BrowserTab* t = FindTab(id)) OpenTabBeside(*t, address, foreground);
  };
  menu.signal_open_beside().connect([beside](const std::string& address) { beside(address, false); });
  menu.set_can_open_window([this] { return can_open_windows_; });
  menu.signal_open_window().connect([this](const std::string& address) { open_window_.emit(address); });
  menu.signal_search().connect([this, beside](const std::string& terms) {
    beside(core::SearchAddress(context_.config().search_query, terms), true);
  });
  menu.signal_add_favourite().connect(
      [this](const std::string& address, const std::string& title) { add_favourite_.emit(address, title); });
  tab.page().signal_show_source().connect([this, id](const std::string&, const std::string& html) {
    BrowserTab* t = FindTab(id);
    if (t == nullptr) return;
    BrowserTab& source = AddTab(MakeTab(),
                                IndexOf(*t) + 1);
    source.page().LoadHtml(html);
    notebook_.set_current_page(IndexOf(source));
  });
}

void TabStrip::SelectTab(int index) {
  if (index == notebook_.page_num(new_tab_page_)) {
    OpenNewTab();
  } else if (index >= 0 && index < BrowsingTabCount()) {
    if (index == notebook_.get_current_page()) {
      current_changed_.emit(TabAt(index), false);  // nothing switches: send the state anyway
    } else {
      notebook_.set_current_page(index);
    }
  }
}

void TabStrip::CloseCurrentTab() {
  if (current_ != nullptr && notebook_.get_current_page() == IndexOf(*current_)) CloseTab(*current_);
}

void TabStrip::CloseTab(BrowserTab& tab) {
  const int index = IndexOf(tab);
  if (index <= 0) return;  // the first tab is never closed
  // A tab that never had a page has nothing to come back with.
  const std::string uri = tab.page().Uri();
  std::string state = tab.page().SessionState();
  if (!uri.empty() || !state.empty()) closed_.Push({{uri, tab.page().Title(), std::move(state)}, index});
  if (tab.id() == menu_tab_) {
    header_menu_.popdown();
    menu_tab_ = 0;
  }
  // Select the left neighbour first: removing the current tab next to the
  // new-tab tab would otherwise select that one and open a tab.
  if (&tab == current_) notebook_.set_current_page(index - 1);
  notebook_.remove_page(tab.widget());
  std::erase_if(tabs_, [&](const auto& t) { return t.get() == &tab; });
  UpdateCloseButtons();
  tabs_changed_.emit();
}

void TabStrip::UpdateCloseButtons() {
  // The close button stands on the current tab; the first tab has none.
  for (auto& t : tabs_) t->header().SetCloseButtonVisible(t.get() == current_ && IndexOf(*t) > 0);
}

void TabStrip::MoveTab(BrowserTab& tab, int index) {
  if (IndexOf(tab) < 0) return;
  notebook_.reorder_child(tab.widget(), std::clamp(index, 0, BrowsingTabCount() - 1));
  UpdateCloseButtons();
  tabs_changed_.emit();
}

void TabStrip::OnPageReordered(Gtk::Widget*, guint) {
  // A tab dropped beyond the new-tab tab: the new-tab tab goes back to the end.
  const int last = notebook_.get_n_pages() - 1;
  if (notebook_.page_num(new_tab_page_) != last) notebook_.reorder_child(new_tab_page_, last);
  UpdateCloseButtons();
  tabs_changed_.emit();
}

BrowserTab* TabStrip::ReopenClosedTab() {
  std::optional<core::ClosedTab> closed = closed_.Pop();
  if (!closed) return nullptr;
  // Its old place, unless fewer tabs are left now; never before the first tab.
  BrowserTab& tab = AddTab(MakeTab(),
                           std::max(closed->index, 1));
  tab.page().Restore(closed->tab.uri, closed->tab.state);
  notebook_.set_current_page(IndexOf(tab));
  return &tab;
}

BrowserTab& TabStrip::DuplicateTab(BrowserTab& tab) {
  const std::string uri = tab.page().Uri();
  const std::string state = tab.page().SessionState();
  BrowserTab& copy = AddTab(MakeTab(),
                            IndexOf(tab) + 1);
  copy.page().Restore(uri, state);
  notebook_.set_current_page(IndexOf(copy));
  return copy;
}

void TabStrip::CloseOtherTabs(BrowserTab& tab) {
  const BrowserTab::Id keep = tab.id();
  if (&tab != current_) notebook_.set_current_page(IndexOf(tab));
  // Right to left: reopened one by one, each comes back to where it stood.
  std::vector<BrowserTab*> ordered = Tabs();
  for (auto it = ordered.rbegin(); it != ordered.rend(); ++it) {
    if ((*it)->id() != keep) CloseTab(**it);
  }
}

void TabStrip::CloseTabsToTheRight(BrowserTab& tab) {
  const int index = IndexOf(tab);
  if (index < 0) return;
  if (&tab != current_) notebook_.set_current_page(index);
  std::vector<BrowserTab*> ordered = Tabs();
  for (int i = static_cast<int>(ordered.size()) - 1; i > index; --i) CloseTab(*ordered[i]);
}

void TabStrip::BuildHeaderActions() {
  header_actions_ = Gio::SimpleActionGroup::create();
  auto add = [this](const char* name, void (TabStrip::*action)(BrowserTab&)) {
    header_actions_->add_action(name, [this, action] { RunHeaderAction(action); });
  };
  add("reload", &TabStrip::ReloadTab);
  add("duplicate", &TabStrip::DuplicateFromMenu);
  add("mute", &TabStrip::ToggleMuted);
  add("reopen-closed", &TabStrip::ReopenFromMenu);
  add("close-others", &TabStrip::CloseOtherTabs);
  add("close-right", &TabStrip::CloseTabsToTheRight);
  notebook_.insert_action_group("tab", header_actions_);
}

void TabStrip::RunHeaderAction(void (TabStrip::*action)(BrowserTab&)) {
  // Tabs are closed and made once the menu is gone, never inside its click.
  const BrowserTab::Id id = menu_tab_;
  Glib::signal_idle().connect_once(lifetime_.Bind([this, id, action] {
    if (BrowserTab* tab = FindTab(id)) (this->*action)(*tab);
  }));
}

void TabStrip::ShowHeaderMenu(BrowserTab& tab, double x, double y) {
  const int index = IndexOf(tab);
  if (index < 0) return;
  menu_tab_ = tab.id();
  const int count = BrowsingTabCount();
  // What cannot act is offered disabled: the first tab is never closed, so
  // "others" needs a closable tab besides this one.
  const bool others = count > (index == 0 ? 1 : 2);
  auto enable = [this](const char* name, bool enabled) {
    std::dynamic_pointer_cast<Gio::SimpleAction>(header_actions_->lookup_action(name))->set_enabled(enabled);
  };
  enable("reopen-closed", !closed_.empty());
  enable("close-others", others);
  enable("close-right", index < count - 1);
  auto menu = Gio::Menu::create();
  auto page = Gio::Menu::create();
  page->append("重新加载", "tab.reload");
  page->append("复制标签页", "tab.duplicate");
  page->append(tab.page().IsMuted() ? "取消静音标签页" : "静音标签页", "tab.mute");
  menu->append_section(page);
  auto tabs = Gio::Menu::create();
  tabs->append("重新打开关闭的标签页", "tab.reopen-closed");
  tabs->append("关闭其他标签页", "tab.close-others");
  tabs->append("关闭右侧标签页", "tab.close-right");
  menu->append_section(tabs);
  header_menu_.set_menu_model(menu);
  header_menu_.set_pointing_to(Gdk::Rectangle(static_cast<int>(x), static_cast<int>(y), 1, 1));
  header_menu_.popup();
}

BrowserTab* TabStrip::HeaderAt(double x, double y) {
  // The header under the pointer names the tab; clicks inside a page do not count.
  for (Gtk::Widget* w = notebook_.pick(x, y); w != nullptr && w != &notebook_; w = w->get_parent()) {
    for (auto& t : tabs_) {
      if (w == &t->header()) return t.get();
      if (w == &t->widget()) return nullptr;
    }
  }
  return nullptr;
}

bool TabStrip::OnKeyPressed(guint keyval, guint, Gdk::ModifierType state) {
  const bool shift_f10 = keyval == GDK_KEY_F10 && (state & Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType::SHIFT_MASK;
  // Only on the headers: a page with the focus has its own menu for these keys.
  if ((keyval != GDK_KEY_Menu && !shift_f10) || !notebook_.is_focus() || current_ == nullptr) return false;
  double x = 0;
  double y = 0;
  TabHeader& header = current_->header();
  if (!header.translate_coordinates(notebook_, 0, header.get_height(), x, y)) return false;
  ShowHeaderMenu(*current_, x, y);
  return true;
}

void TabStrip::OnSecondaryPressed(int, double x, double y) {
  if (BrowserTab* tab = HeaderAt(x, y)) {
    secondary_click_->set_state(Gtk::EventSequenceState::CLAIMED);
    ShowHeaderMenu(*tab, x, y);
  }
}

BrowserTab& TabStrip::OpenTab(const std::string& address, bool foreground) {
  BrowserTab& tab = AppendEmptyTab();
  tab.page().Load(core::NormaliseAddress(address));
  if (foreground) notebook_.set_current_page(IndexOf(tab));
  return tab;
}

BrowserTab& TabStrip::OpenTabBeside(const BrowserTab& beside, const std::string& address, bool foreground) {
  const int index = IndexOf(beside);
  BrowserTab& tab = AddTab(MakeTab(),
                           index < 0 ? -1 : index + 1);
  // The page's own addresses are whole already.
  tab.page().Load(address);
  if (foreground) notebook_.set_current_page(IndexOf(tab));
  return tab;
}

// A new tab opens the saved home page, else the start page. Once the
// window has opened one start page in a new tab, it keeps the next one ready.
BrowserTab& TabStrip::OpenNewTab() {
  const std::string home = context_.settings().HomePage();
  const std::string address = home.empty() ? context_.config().portal_a : home;
  if (core::NormaliseAddress(address) != ready_start_page_.address()) return OpenTab(address);
  std::unique_ptr<WebPage> ready = ready_start_page_.Take();
  if (ready == nullptr) {
    BrowserTab& tab = OpenTab(ready_start_page_.address());
    ready_start_page_.Prepare();
    return tab;
  }
  BrowserTab& tab = AddTab(std::make_unique<BrowserTab>(next_id_++, std::move(ready), profile_));
  notebook_.set_current_page(IndexOf(tab));
  ready_start_page_.Prepare();
  return tab;
}

WebKitWebView* TabStrip::OnCreateRequested(WebKitWebView* parent) {
  // WebKit loads the requested address into the view we hand back.
  BrowserTab& tab = AddTab(std::make_unique<BrowserTab>(next_id_++, profile_, parent,
                                                        context_.config().page_timeout_ms));
  opening_for_page_ = true;
  notebook_.set_current_page(IndexOf(tab));
  opening_for_page_ = false;
  return tab.page().view();
}

void TabStrip::OnSwitchPage(Gtk::Widget* page, guint) {
  if (page == &new_tab_page_) {
    if (replacing_new_tab_page_) return;
    // Chosen by the user: a new tab takes the new-tab tab's place. Deferred,
    // because inserting pages inside switch-page re-enters it.
    replacing_new_tab_page_ = true;
    Glib::signal_idle().connect_once(lifetime_.Bind([this] {
      replacing_new_tab_page_ = false;
      if (notebook_.get_current_page() == notebook_.page_num(new_tab_page_)) OpenNewTab();
    }));
    return;
  }
  BrowserTab* tab = TabOfPage(page);
  if (tab == nullptr) return;
  current_ = tab;
  UpdateCloseButtons();
  current_changed_.emit(*tab, opening_for_page_);
}

void TabStrip::OnPressed(int n_press, double x, double y) {
  if (n_press != 2) return;
  // Only the header row counts, not a double-click inside the page.
  Gtk::Widget* picked = notebook_.pick(x, y);
  Gtk::Widget* page = notebook_.get_nth_page(notebook_.get_current_page());
  for (Gtk::Widget* w = picked; w != nullptr; w = w->get_parent()) {
    if (w == page) return;
    if (w == &notebook_) break;
  }
  CloseCurrentTab();
}

void TabStrip::OnMiddlePressed(int, double x, double y) {
  if (BrowserTab* t = HeaderAt(x, y)) {
    const BrowserTab::Id id = t->id();
    Glib::signal_idle().connect_once(lifetime_.Bind([this, id] {
      if (BrowserTab* tab = FindTab(id)) CloseTab(*tab);
    }));
  }
}

}  // namespace nuve::ui
