#include "ui/main/tab_strip.h"

#include <algorithm>
#include <stdexcept>

#include "core/app/address.h"
#include "core/app/log.h"
#include "ui/app/app_context.h"

namespace nuve::ui {

TabStrip::TabStrip(AppContext& context) : context_(context) {
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
}

TabStrip::~TabStrip() {
  // switch-page also fires while pages are removed during teardown.
  switch_page_connection_.disconnect();
  current_ = nullptr;
  for (auto& tab : tabs_) notebook_.remove_page(tab->page());
  tabs_.clear();
}

BrowserTab* TabStrip::TabOfPage(const Gtk::Widget* page) {
  const auto it = std::find_if(tabs_.begin(), tabs_.end(), [&](const auto& t) { return &t->page() == page; });
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
  return owned ? notebook_.page_num(const_cast<BrowserTab&>(tab).page()) : -1;
}

BrowserTab& TabStrip::CurrentTab() { return current_ != nullptr ? *current_ : FirstTab(); }

BrowserTab& TabStrip::AddTab(std::unique_ptr<BrowserTab> tab) {
  BrowserTab& added = *tab;
  tabs_.push_back(std::move(tab));
  // Always just before the new-tab tab, which stays last.
  int position = notebook_.page_num(new_tab_page_);
  if (position < 0) position = notebook_.get_n_pages();
  notebook_.insert_page(added.page(), added.header(), position);
  if (current_ == nullptr) current_ = &added;
  WireTab(added);
  tabs_changed_.emit();
  return added;
}

BrowserTab& TabStrip::AppendEmptyTab() {
  return AddTab(std::make_unique<BrowserTab>(next_id_++, context_.engine(), context_.config().page_timeout_ms));
}

void TabStrip::WireTab(BrowserTab& tab) {
  // Handlers find the tab again by its identity: a closed tab's late signal
  // finds nothing.
  const BrowserTab::Id id = tab.id();
  tab.signal_title_changed().connect([this, id] {
    BrowserTab* t = FindTab(id);
    if (t == nullptr) return;
    if (IsCurrent(*t)) title_changed_.emit(*t);
    page_titled_.emit(*t);
    tabs_changed_.emit();
  });
  tab.signal_uri_changed().connect([this, id] {
    BrowserTab* t = FindTab(id);
    if (t != nullptr && IsCurrent(*t)) uri_changed_.emit(*t);
    tabs_changed_.emit();
  });
  tab.signal_page_committed().connect([this, id] {
    if (BrowserTab* t = FindTab(id)) page_visited_.emit(*t);
  });
  tab.signal_load_state_changed().connect([this, id] {
    BrowserTab* t = FindTab(id);
    if (t != nullptr && IsCurrent(*t)) load_state_changed_.emit(*t);
  });
  tab.signal_status_text().connect([this](const std::string& text) { status_text_.emit(text); });
  tab.signal_open_in_background().connect([this](const std::string& uri) { OpenTab(uri, false); });
  tab.signal_close_requested().connect([this, id] {
    // Never destroy a tab inside its own signal: close it once the signal is over.
    Glib::signal_idle().connect_once([this, id] {
      if (BrowserTab* t = FindTab(id)) CloseTab(*t);
    });
  });
  tab.set_create_handler([this](BrowserTab& parent) { return OnCreateRequested(parent); });
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
  // Select the left neighbour first: removing the current tab next to the
  // new-tab tab would otherwise select that one and open a tab.
  if (&tab == current_) notebook_.set_current_page(index - 1);
  notebook_.remove_page(tab.page());
  std::erase_if(tabs_, [&](const auto& t) { return t.get() == &tab; });
  tabs_changed_.emit();
}

BrowserTab& TabStrip::OpenTab(const std::string& address, bool foreground) {
  BrowserTab& tab = AppendEmptyTab();
  tab.Load(core::NormaliseAddress(address));
  if (foreground) notebook_.set_current_page(IndexOf(tab));
  return tab;
}

BrowserTab& TabStrip::OpenNewTab() { return OpenTab(context_.config().portal_a); }

WebKitWebView* TabStrip::OnCreateRequested(BrowserTab& parent) {
  // WebKit loads the requested address into the view we hand back.
  BrowserTab& tab = AddTab(std::make_unique<BrowserTab>(next_id_++, context_.engine(), parent.view(),
                                                        context_.config().page_timeout_ms));
  opening_for_page_ = true;
  notebook_.set_current_page(IndexOf(tab));
  opening_for_page_ = false;
  return tab.view();
}

void TabStrip::OnSwitchPage(Gtk::Widget* page, guint index) {
  if (page == &new_tab_page_) {
    if (replacing_new_tab_page_) return;
    // Chosen by the user: a new tab takes the new-tab tab's place. Deferred,
    // because inserting pages inside switch-page re-enters it.
    replacing_new_tab_page_ = true;
    Glib::signal_idle().connect_once([this] {
      replacing_new_tab_page_ = false;
      if (notebook_.get_current_page() == notebook_.page_num(new_tab_page_)) OpenNewTab();
    });
    return;
  }
  BrowserTab* tab = TabOfPage(page);
  if (tab == nullptr) return;
  current_ = tab;
  for (auto& t : tabs_) {
    // The close button stands on the current tab; the first tab has none.
    t->SetCloseButtonVisible(t.get() == tab && index != 0);
  }
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
  // The header under the pointer names the tab; clicks inside a page do not count.
  for (Gtk::Widget* w = notebook_.pick(x, y); w != nullptr && w != &notebook_; w = w->get_parent()) {
    for (auto& t : tabs_) {
      if (w == &t->header()) {
        const BrowserTab::Id id = t->id();
        Glib::signal_idle().connect_once([this, id] {
          if (BrowserTab* tab = FindTab(id)) CloseTab(*tab);
        });
        return;
      }
      if (w == &t->page()) return;
    }
  }
}

}  // namespace nuve::ui
