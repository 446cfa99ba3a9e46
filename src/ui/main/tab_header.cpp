#include "ui/main/tab_header.h"

#include "core/app/tab_caption.h"
#include "ui/app/accessible.h"

namespace nuve::ui {
namespace {
constexpr char kDefaultIcon[] = "text-html-symbolic";
// The reload button's own arrows, turning. The theme has them drawn at the
// strip's size; its usual turning icon exists only as a drawing to render,
// which would load an SVG library into the first page's path.
constexpr char kLoadingIcon[] = "view-refresh-symbolic";
}  // namespace

TabHeader::TabHeader() : Gtk::Box(Gtk::Orientation::HORIZONTAL, 4) {
  icon_.set_pixel_size(16);
  icon_.set_from_icon_name(kDefaultIcon);
  caption_.set_text(core::NewTabCaption());
  // Captions are padded with blanks to a fixed width; a monospace face makes
  // that width the same for every tab.
  caption_.add_css_class("monospace");
  SetIconButton(close_button_, "window-close-symbolic", "关闭选项卡");
  close_button_.set_has_frame(false);
  close_button_.set_name("图形按钮6");
  close_button_.set_visible(false);
  close_button_.signal_clicked().connect([this] { close_clicked_.emit(); });
  SetIconButton(audio_button_, "audio-volume-high-symbolic", "静音标签页");
  audio_button_.set_has_frame(false);
  audio_button_.set_focus_on_click(false);
  audio_button_.set_name("tab-audio");
  audio_button_.set_visible(false);
  audio_button_.signal_clicked().connect([this] { mute_clicked_.emit(); });
  // While the page loads, a turning icon stands where the site icon is (the
  // window's style sheet turns it). A GtkSpinner there upsets the notebook's
  // scroll arrows in GTK 4.8.
  append(icon_);
  append(caption_);
  append(audio_button_);
  append(close_button_);
}

void TabHeader::SetAudio(bool playing, bool muted) {
  audio_button_.set_visible(playing || muted);
  if (muted == muted_) return;
  muted_ = muted;
  if (muted) {
    SetIconButton(audio_button_, "audio-volume-muted-symbolic", "取消静音标签页");
  } else {
    SetIconButton(audio_button_, "audio-volume-high-symbolic", "静音标签页");
  }
}

void TabHeader::SetTitle(const std::string& title, const std::string& uri) {
  caption_.set_text(core::TabCaption(title));
  set_tooltip_text(title + "\r\n" + uri);
}

void TabHeader::SetLoading(bool loading) {
  if (loading == loading_) return;
  loading_ = loading;
  ShowIcon();
}

void TabHeader::SetFavicon(GdkTexture* favicon) {
  // The texture belongs to the view: take a reference of our own.
  favicon_ = favicon != nullptr ? Glib::wrap(GDK_PAINTABLE(favicon), true) : Glib::RefPtr<Gdk::Paintable>();
  if (!loading_) ShowIcon();
}

void TabHeader::ShowIcon() {
  if (loading_) {
    icon_.add_css_class("loading");
    icon_.set_from_icon_name(kLoadingIcon);
    return;
  }
  icon_.remove_css_class("loading");
  // The site icon shows once the page has loaded.
  if (favicon_) {
    icon_.set(favicon_);
  } else {
    icon_.set_from_icon_name(kDefaultIcon);
  }
}

}  // namespace nuve::ui
