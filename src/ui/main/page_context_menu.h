#pragma once
// The page's context menu, in Chinese: what the pointer was on (a link, an
// image, a video or audio, a selection, an edit box, the page itself)
// decides the items, and every item the engine would have offered is
// replaced. Items of our own run here or are passed on to the tab strip
// (new tabs, the add-favourite window); cutting, pasting and spelling stay
// the engine's stock actions under our labels. The items of the last menu
// are kept as a list by label, so what the menu offered can be read and
// chosen without a pointer.

#include <gtkmm.h>
#include <webkit/webkit.h>

#include <functional>
#include <string>
#include <vector>

namespace nuve::ui {

class WebPage;

// What the pointer was on when the menu was asked for.
struct MenuTarget {
  std::string link;
  std::string link_label;  // the link's text
  std::string image;
  std::string media;
  bool media_is_audio = false;
  bool media_paused = true;
  bool media_muted = false;
  bool editable = false;
  bool selection = false;
  std::string selected_text;  // may be empty even with a selection (no extension)
};

class PageContextMenu {
 public:
  struct Item {
    std::string label;  // "" for a separator
    bool enabled = true;
    // Our own items run this; stock items leave it empty.
    std::function<void()> run;
    WebKitContextMenuAction stock = WEBKIT_CONTEXT_MENU_ACTION_NO_ACTION;
    // An engine item kept as it is (a spelling suggestion); a reference is held.
    WebKitContextMenuItem* kept = nullptr;
  };

  explicit PageContextMenu(WebPage& page);
  ~PageContextMenu();
  PageContextMenu(const PageContextMenu&) = delete;
  PageContextMenu& operator=(const PageContextMenu&) = delete;

  // The handler of the view's `context-menu`: replaces the engine's items
  // with ours. Returns whether to show nothing (never: the menu is shown).
  bool OnContextMenu(WebKitContextMenu* menu, WebKitHitTestResult* hit);

  // Builds the items for `target` (as OnContextMenu does) and keeps them as
  // the last menu's.
  const std::vector<Item>& Build(const MenuTarget& target);
  const std::vector<Item>& items() const { return items_; }
  // The labels of the last menu, separators as "-".
  std::vector<std::string> Labels() const;
  // The item labelled `label` in the last menu; null when there is none.
  const Item* Find(const std::string& label) const;
  // Runs our own item labelled `label`, as a click on it does; false when
  // there is none, it is disabled, or it is the engine's.
  bool Activate(const std::string& label);

  // A link or image to open in a background tab right after this page's.
  sigc::signal<void(const std::string&)>& signal_open_beside() { return open_beside_; }
  // A link to open in a new window ("在新窗口中打开链接"), offered while
  // `can` says the program can open one.
  sigc::signal<void(const std::string&)>& signal_open_window() { return open_window_; }
  void set_can_open_window(std::function<bool()> can) { can_open_window_ = std::move(can); }
  // Words to search for with the search preset, in a new tab.
  sigc::signal<void(const std::string&)>& signal_search() { return search_; }
  // The add-favourite window, filled with an address and a title.
  sigc::signal<void(const std::string&, const std::string&)>& signal_add_favourite() { return add_favourite_; }

 private:
  void AddLinkItems(const MenuTarget& target);
  void AddImageItems(const MenuTarget& target);
  void AddMediaItems(const MenuTarget& target);
  void AddSelectionItems(const MenuTarget& target);
  void AddEditItems(const MenuTarget& target);
  void AddPageItems();
  void Own(const std::string& label, bool enabled, std::function<void()> run);
  void Stock(const std::string& label, WebKitContextMenuAction action);
  void Separator();
  void CopyText(const std::string& text);
  void Save(const std::string& address);
  void ClearItems();
  void Fill(WebKitContextMenu* menu);

  WebPage& page_;
  std::vector<Item> items_;
  // Spelling suggestions of the engine's menu being replaced, to keep.
  std::vector<WebKitContextMenuItem*> spelling_;
  // The actions behind our items in the menu on screen; the menu may hold
  // them after we are gone, so each is disconnected from us then.
  std::vector<GSimpleAction*> actions_;
  sigc::signal<void(const std::string&)> open_beside_;
  sigc::signal<void(const std::string&)> open_window_;
  std::function<bool()> can_open_window_;
  sigc::signal<void(const std::string&)> search_;
  sigc::signal<void(const std::string&, const std::string&)> add_favourite_;
};

}  // namespace nuve::ui
