#include "ui/main/page_context_menu.h"

#include <algorithm>

#include "core/app/context_menu.h"
#include "core/app/log.h"
#include "ui/app/guard.h"
#include "ui/downloads/download_item.h"
#include "ui/main/web_page.h"

namespace nuve::ui {
namespace {

std::string Str(const char* s) { return s != nullptr ? s : ""; }

// A boolean of the extension's user data, or `fallback`.
bool BoolOf(GVariantDict* dict, const char* key, bool fallback) {
  gboolean value = FALSE;
  return g_variant_dict_lookup(dict, key, "b", &value) ? value != FALSE : fallback;
}

void ActivateCb(GSimpleAction*, GVariant* parameter, gpointer self) noexcept {
  Guard("context menu item", [&] {
    auto* menu = static_cast<PageContextMenu*>(self);
    const auto index = static_cast<std::size_t>(g_variant_get_uint32(parameter));
    if (index >= menu->items().size()) return;
    // Copied: the item may start something that builds the next menu.
    const std::function<void()> run = menu->items()[index].run;
    if (run) run();
  });
}

}  // namespace

PageContextMenu::PageContextMenu(WebPage& page) : page_(page) {}

PageContextMenu::~PageContextMenu() { ClearItems(); }

void PageContextMenu::ClearItems() {
  for (GSimpleAction* action : actions_) {
    g_signal_handlers_disconnect_by_data(action, this);
    g_object_unref(action);
  }
  actions_.clear();
  for (Item& item : items_) {
    if (item.kept != nullptr) g_object_unref(item.kept);
  }
  items_.clear();
}

bool PageContextMenu::OnContextMenu(WebKitContextMenu* menu, WebKitHitTestResult* hit) {
  MenuTarget target;
  const guint context = webkit_hit_test_result_get_context(hit);
  if ((context & WEBKIT_HIT_TEST_RESULT_CONTEXT_LINK) != 0) {
    target.link = Str(webkit_hit_test_result_get_link_uri(hit));
    target.link_label = Str(webkit_hit_test_result_get_link_label(hit));
    if (target.link_label.empty()) target.link_label = Str(webkit_hit_test_result_get_link_title(hit));
  }
  if ((context & WEBKIT_HIT_TEST_RESULT_CONTEXT_IMAGE) != 0) target.image = Str(webkit_hit_test_result_get_image_uri(hit));
  if ((context & WEBKIT_HIT_TEST_RESULT_CONTEXT_MEDIA) != 0) target.media = Str(webkit_hit_test_result_get_media_uri(hit));
  target.editable = (context & WEBKIT_HIT_TEST_RESULT_CONTEXT_EDITABLE) != 0;
  target.selection = (context & WEBKIT_HIT_TEST_RESULT_CONTEXT_SELECTION) != 0;

  // The extension tells what only the page knows: the selected text and the
  // state of a video.
  if (GVariant* data = webkit_context_menu_get_user_data(menu);
      data != nullptr && g_variant_is_of_type(data, G_VARIANT_TYPE_VARDICT)) {
    GVariantDict dict;
    g_variant_dict_init(&dict, data);
    gchar* text = nullptr;
    if (g_variant_dict_lookup(&dict, "selection", "s", &text)) {
      target.selected_text = text;
      g_free(text);
    }
    target.media_is_audio = BoolOf(&dict, "media-audio", false);
    target.media_paused = BoolOf(&dict, "media-paused", true);
    target.media_muted = BoolOf(&dict, "media-muted", false);
    g_variant_dict_clear(&dict);
  }

  // Spelling suggestions are the engine's to make: keep those items (their
  // labels are the words themselves), unless the user turned spelling off
  // (the engine would still guess at a word it marked before).
  const bool spelling = webkit_web_context_get_spell_checking_enabled(webkit_web_context_get_default()) != FALSE;
  for (GList* l = spelling ? webkit_context_menu_get_items(menu) : nullptr; l != nullptr; l = l->next) {
    auto* item = static_cast<WebKitContextMenuItem*>(l->data);
    if (webkit_context_menu_item_get_stock_action(item) == WEBKIT_CONTEXT_MENU_ACTION_SPELLING_GUESS) {
      spelling_.push_back(static_cast<WebKitContextMenuItem*>(g_object_ref(item)));
    }
  }
  Build(target);
  for (WebKitContextMenuItem* item : spelling_) g_object_unref(item);
  spelling_.clear();
  Fill(menu);
  return false;
}

const std::vector<PageContextMenu::Item>& PageContextMenu::Build(const MenuTarget& target) {
  ClearItems();
  const bool on_something = !target.link.empty() || !target.image.empty() || !target.media.empty() ||
                            target.editable || target.selection;
  if (!target.link.empty()) AddLinkItems(target);
  if (!target.image.empty()) AddImageItems(target);
  if (!target.media.empty()) AddMediaItems(target);
  if (target.editable) {
    AddEditItems(target);
  } else if (target.selection) {
    AddSelectionItems(target);
  }
  if (!on_something) AddPageItems();
  if (webkit_settings_get_enable_developer_extras(webkit_web_view_get_settings(page_.view()))) {
    Separator();
    Stock("检查元素", WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT);
  }
  // No separator at either end.
  while (!items_.empty() && items_.front().label.empty()) items_.erase(items_.begin());
  while (!items_.empty() && items_.back().label.empty()) items_.pop_back();
  return items_;
}

void PageContextMenu::AddLinkItems(const MenuTarget& target) {
  const core::AddressUses uses = core::UsesOfAddress(target.link);
  const std::string link = target.link;
  const std::string title = target.link_label.empty() ? link : target.link_label;
  Own("在新标签页中打开链接", uses.open_in_tab, [this, link] { open_beside_.emit(link); });
  const bool windows = can_open_window_ && can_open_window_();
  Own("在新窗口中打开链接", uses.open_in_tab && windows, [this, link] { open_window_.emit(link); });
  Own("链接另存为…", uses.save, [this, link] { Save(link); });
  Own("复制链接地址", true, [this, link] { CopyText(link); });
  Own("将链接添加到收藏夹", uses.add_favourite, [this, link, title] { add_favourite_.emit(link, title); });
}

void PageContextMenu::AddImageItems(const MenuTarget& target) {
  Separator();
  const core::AddressUses uses = core::UsesOfAddress(target.image);
  const std::string image = target.image;
  Own("在新标签页中打开图片", uses.open_in_tab, [this, image] { open_beside_.emit(image); });
  Own("图片另存为…", uses.save, [this, image] { Save(image); });
  Stock("复制图片", WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_TO_CLIPBOARD);
  Own("复制图片地址", true, [this, image] { CopyText(image); });
}

void PageContextMenu::AddMediaItems(const MenuTarget& target) {
  Separator();
  const core::AddressUses uses = core::UsesOfAddress(target.media);
  const std::string media = target.media;
  if (target.media_paused) {
    Stock("播放", WEBKIT_CONTEXT_MENU_ACTION_MEDIA_PLAY);
  } else {
    Stock("暂停", WEBKIT_CONTEXT_MENU_ACTION_MEDIA_PAUSE);
  }
  Stock(target.media_muted ? "取消静音" : "静音", WEBKIT_CONTEXT_MENU_ACTION_MEDIA_MUTE);
  Own(target.media_is_audio ? "音频另存为…" : "视频另存为…", uses.save, [this, media] { Save(media); });
  Own(target.media_is_audio ? "复制音频地址" : "复制视频地址", true, [this, media] { CopyText(media); });
}

void PageContextMenu::AddSelectionItems(const MenuTarget& target) {
  Separator();
  Stock("复制", WEBKIT_CONTEXT_MENU_ACTION_COPY);
  const std::string terms = core::SearchTerms(target.selected_text);
  // Without the text (the extension did not answer) there is nothing to search for.
  Own(terms.empty() ? std::string("用搜索引擎搜索") : core::SearchCaption(target.selected_text), !terms.empty(),
      [this, terms] { search_.emit(terms); });
}

void PageContextMenu::AddEditItems(const MenuTarget& target) {
  Separator();
  for (WebKitContextMenuItem* item : spelling_) {
    items_.push_back(Item{"", true, {}, WEBKIT_CONTEXT_MENU_ACTION_SPELLING_GUESS,
                          static_cast<WebKitContextMenuItem*>(g_object_ref(item))});
    // On screen the item shows the word itself, a label only the engine
    // knows; the list names it by what it is.
    items_.back().label = "拼写建议";
  }
  if (!spelling_.empty()) Separator();
  WebKitWebView* view = page_.view();
  // The engine has no stock undo item; its editing command does the same.
  Own("撤销", true, [view] { webkit_web_view_execute_editing_command(view, WEBKIT_EDITING_COMMAND_UNDO); });
  Separator();
  Stock("剪切", WEBKIT_CONTEXT_MENU_ACTION_CUT);
  Stock("复制", WEBKIT_CONTEXT_MENU_ACTION_COPY);
  Stock("粘贴", WEBKIT_CONTEXT_MENU_ACTION_PASTE);
  Stock("删除", WEBKIT_CONTEXT_MENU_ACTION_DELETE);
  Separator();
  Stock("全选", WEBKIT_CONTEXT_MENU_ACTION_SELECT_ALL);
  if (target.selection && !target.selected_text.empty()) {
    const std::string terms = core::SearchTerms(target.selected_text);
    if (!terms.empty()) {
      Separator();
      Own(core::SearchCaption(target.selected_text), true, [this, terms] { search_.emit(terms); });
    }
  }
}

void PageContextMenu::AddPageItems() {
  WebPage& page = page_;
  Own("后退", page.CanGoBack(), [&page] { page.GoBack(); });
  Own("前进", page.CanGoForward(), [&page] { page.GoForward(); });
  Own("重新加载", true, [&page] { page.Reload(); });
  Separator();
  const std::string address = page.Uri();
  const std::string title = page.Title();
  Own("添加到收藏夹", core::UsesOfAddress(address).add_favourite && !page.ShowingErrorPage(),
      [this, address, title] { add_favourite_.emit(address, title); });
  Own("查看网页源代码", page.CanViewSource(), [&page] { page.ViewSource(); });
}

void PageContextMenu::Own(const std::string& label, bool enabled, std::function<void()> run) {
  items_.push_back(Item{label, enabled, std::move(run), WEBKIT_CONTEXT_MENU_ACTION_CUSTOM, nullptr});
}

void PageContextMenu::Stock(const std::string& label, WebKitContextMenuAction action) {
  items_.push_back(Item{label, true, {}, action, nullptr});
}

void PageContextMenu::Separator() {
  if (!items_.empty() && !items_.back().label.empty()) items_.push_back(Item{});
}

void PageContextMenu::Fill(WebKitContextMenu* menu) {
  webkit_context_menu_remove_all(menu);
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const Item& item = items_[i];
    WebKitContextMenuItem* entry = nullptr;
    if (item.kept != nullptr) {
      entry = item.kept;
      g_object_ref(entry);  // the menu takes this one
    } else if (item.label.empty()) {
      entry = webkit_context_menu_item_new_separator();
    } else if (item.run) {
      GSimpleAction* action = g_simple_action_new("nuve-item", G_VARIANT_TYPE_UINT32);
      g_simple_action_set_enabled(action, item.enabled ? TRUE : FALSE);
      g_signal_connect(action, "activate", G_CALLBACK(ActivateCb), this);
      actions_.push_back(action);
      entry = webkit_context_menu_item_new_from_gaction(G_ACTION(action), item.label.c_str(),
                                                        g_variant_new_uint32(static_cast<guint32>(i)));
    } else {
      entry = webkit_context_menu_item_new_from_stock_action_with_label(item.stock, item.label.c_str());
    }
    webkit_context_menu_append(menu, entry);
  }
}

std::vector<std::string> PageContextMenu::Labels() const {
  std::vector<std::string> labels;
  for (const Item& item : items_) labels.push_back(item.label.empty() ? "-" : item.label);
  return labels;
}

const PageContextMenu::Item* PageContextMenu::Find(const std::string& label) const {
  const auto it = std::find_if(items_.begin(), items_.end(), [&](const Item& i) { return i.label == label; });
  return it == items_.end() ? nullptr : &*it;
}

bool PageContextMenu::Activate(const std::string& label) {
  const Item* item = Find(label);
  if (item == nullptr || !item->enabled || !item->run) return false;
  const std::function<void()> run = item->run;
  run();
  return true;
}

void PageContextMenu::CopyText(const std::string& text) { page_.widget().get_clipboard()->set_text(text); }

void PageContextMenu::Save(const std::string& address) {
  // A download like every other, except that where to save it is asked.
  WebKitDownload* download = webkit_web_view_download_uri(page_.view(), address.c_str());
  if (download == nullptr) return;
  DownloadItem::AskWhereToSave(download);
  g_object_unref(download);
}

}  // namespace nuve::ui
