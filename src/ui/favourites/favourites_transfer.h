#pragma once
// "导入收藏…" and "导出收藏…" of the favourites menu. Import offers the
// other browsers' profiles found on this machine and any bookmark file the
// user picks (places.sqlite, Bookmarks, an HTML export); the bookmarks are
// read and written off the user-interface thread and the result is told as
// "已导入 N 个收藏，跳过 M 个重复". Export writes every favourite to a
// Netscape bookmark file the user names.

#include <gtkmm.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "core/favourites/bookmark_sources.h"
#include "core/favourites/favourites_import.h"
#include "core/util/task_scope.h"

namespace nuve::ui {

class AppContext;
class UiHost;

// What the user is told after an import.
std::string ImportReportText(const core::ImportReport& report);

class ImportFavouritesWindow : public Gtk::Window {
 public:
  // `home`: where other browsers' profiles are looked for.
  ImportFavouritesWindow(AppContext& context, const std::filesystem::path& home);

  // The sources offered, in the list's order.
  const std::vector<core::BookmarkSource>& sources() const { return sources_; }
  // Imports the source at `index` of the list (what "导入" does).
  void ImportSource(std::size_t index);
  // Imports a file the user picked.
  void ImportFile(const std::filesystem::path& file);
  bool busy() const { return busy_; }

 private:
  void Import(core::BookmarkSource source);
  void OnPickFile();
  void SetBusy(bool busy);

  AppContext& context_;
  std::vector<core::BookmarkSource> sources_;
  Gtk::Box layout_{Gtk::Orientation::VERTICAL, 10};
  Gtk::Label intro_{"从其他浏览器导入收藏（文件夹会保留，同一文件夹中相同的网址不会重复导入）："};
  Gtk::ScrolledWindow scroller_;
  Gtk::ListBox list_;
  Gtk::Label none_found_{"没有找到其他浏览器的收藏。"};
  Gtk::Box buttons_{Gtk::Orientation::HORIZONTAL, 8};
  Gtk::Button file_button_{"从文件导入…"};
  Gtk::Button import_button_{"导入"};
  Gtk::Button close_button_{"关闭"};
  Gtk::Spinner spinner_;
  Glib::RefPtr<Gtk::FileChooserNative> chooser_;
  bool busy_ = false;
  core::TaskScope tasks_;
};

// Opens the import window over `parent`, with the user's home folder.
void OpenImportFavourites(AppContext& context, Gtk::Window& parent);
// Asks where to write and exports there.
void ExportFavourites(AppContext& context, Gtk::Window& parent);
// Exports to `file` off the user-interface thread and tells the user.
void ExportFavouritesTo(AppContext& context, Gtk::Window* parent, const std::filesystem::path& file);

}  // namespace nuve::ui
