#include "ui/account/account_widgets.h"

#include "core/account/account_texts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace nuve::ui {

void AddFormRow(Gtk::Grid& grid, int row, Gtk::Label& label, Gtk::Widget& field) {
  label.set_xalign(1);
  field.set_hexpand(true);
  grid.attach(label, 0, row);
  grid.attach(field, 1, row);
}

namespace {

// Lets only the digits of inserted text through (typed, pasted or set),
// before the box's length limit cuts it.
void InsertDigitsCb(GtkEditable* editable, const char* text, int length, int* position, gpointer) noexcept {
  const std::string_view inserted(text, length < 0 ? std::strlen(text) : static_cast<std::size_t>(length));
  std::string digits;
  for (const char c : inserted) {
    if (c >= '0' && c <= '9') digits += c;
  }
  if (digits.size() == inserted.size()) return;
  g_signal_handlers_block_by_func(editable, reinterpret_cast<gpointer>(InsertDigitsCb), nullptr);
  gtk_editable_insert_text(editable, digits.c_str(), static_cast<int>(digits.size()), position);
  g_signal_handlers_unblock_by_func(editable, reinterpret_cast<gpointer>(InsertDigitsCb), nullptr);
  g_signal_stop_emission_by_name(editable, "insert-text");
}

}  // namespace

void LimitEntry(Gtk::Entry& entry, int max_chars, bool digits_only) {
  entry.set_max_length(max_chars);
  if (!digits_only) return;
  entry.set_input_purpose(Gtk::InputPurpose::DIGITS);
  GtkEditable* text = gtk_editable_get_delegate(GTK_EDITABLE(entry.gobj()));
  g_signal_connect(text, "insert-text", G_CALLBACK(InsertDigitsCb), nullptr);
}

void MaskPassword(Gtk::Entry& entry) {
  entry.set_visibility(false);
  entry.set_invisible_char('*');
  entry.set_input_purpose(Gtk::InputPurpose::PASSWORD);
}

void AddUnencryptedNotice(Gtk::Box& box, Gtk::Label& notice) {
  notice.set_name("未加密提示");
  notice.set_wrap(true);
  notice.set_max_width_chars(28);
  ShowColoured(notice, {core::kUnencryptedNotice, core::kRed});
  box.append(notice);
}

void ShowColoured(Gtk::Label& label, const core::ColouredText& text) {
  char colour[8];
  std::snprintf(colour, sizeof colour, "#%06X", static_cast<unsigned>(text.rgb & 0xFFFFFF));
  label.set_markup(std::string("<span foreground=\"") + colour + "\">" +
                   Glib::Markup::escape_text(text.text).raw() + "</span>");
}

void SetUpAccountWindow(Gtk::Window& window, const char* title, Gtk::Widget& child) {
  window.set_title(title);
  window.set_resizable(false);
  child.set_margin(18);
  window.set_child(child);
}

Glib::RefPtr<Gdk::Texture> DecodePicture(const std::string& bytes, int side) {
  constexpr int kLargestSide = 4096;
  if (bytes.empty()) return {};
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  // Told the size before any pixel is decoded: a picture that is too large
  // is refused (a size of 0 makes the loader give up), a large one shrinks.
  g_signal_connect(loader, "size-prepared",
                   G_CALLBACK(+[](GdkPixbufLoader* l, int width, int height, gpointer data) noexcept {
                     const int fit = *static_cast<int*>(data);
                     if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) {
                       gdk_pixbuf_loader_set_size(l, 0, 0);
                     } else if (width > fit || height > fit) {
                       const double scale = static_cast<double>(fit) / std::max(width, height);
                       gdk_pixbuf_loader_set_size(l, std::max(1, static_cast<int>(width * scale)),
                                                  std::max(1, static_cast<int>(height * scale)));
                     }
                   }),
                   &side);
  const bool written = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()),
                                               bytes.size(), nullptr);
  const bool closed = gdk_pixbuf_loader_close(loader, nullptr);
  Glib::RefPtr<Gdk::Texture> texture;
  GdkPixbuf* pixbuf = written && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf != nullptr) texture = Gdk::Texture::create_for_pixbuf(Glib::wrap(pixbuf, true));
  g_object_unref(loader);
  return texture;
}

void ShowDefaultAvatar(Gtk::Image& image) {
  image.set_from_icon_name("avatar-default-symbolic");
  image.set_pixel_size(96);
}

void BusyState::Begin() {
  busy_ = true;
  for (Gtk::Widget* w : controls_) w->set_sensitive(false);
  spinner_.set_visible(true);
  spinner_.start();
}

void BusyState::End() {
  busy_ = false;
  for (Gtk::Widget* w : controls_) w->set_sensitive(true);
  spinner_.stop();
  spinner_.set_visible(false);
}

}  // namespace nuve::ui
