#include "ui/favourites/favourites_transfer.h"

#include "core/app/log.h"
#include "ui/app/accessible.h"
#include "ui/app/app_context.h"
#include "ui/app/guard.h"
#include "ui/app/ui_host.h"

namespace nuve::ui {
namespace {

struct ImportResult {
  bool read = false;
  std::string error;
  core::ImportReport report;
};

}  // namespace

std::string ImportReportText(const core::ImportReport& report) {
  std::string text = "已导入 " + std::to_string(report.imported) + " 个收藏，跳过 " +
                     std::to_string(report.duplicates) + " 个重复";
  if (report.unusable > 0) {
    text += "；另有 " + std::to_string(report.unusable) + " 个不是网页地址（如 javascript:），没有导入";
  }
  if (report.failed > 0) text += "；" + std::to_string(report.failed) + " 个无法写入收藏夹";
  return text;
}

ImportFavouritesWindow::ImportFavouritesWindow(AppContext& context, const std::filesystem::path& home)
    : context_(context), sources_(core::FindBookmarkSources(home)) {
  set_title("导入收藏");
  set_default_size(460, 320);
  intro_.set_xalign(0);
  intro_.set_wrap(true);
  list_.set_name("导入来源");
  SetAccessibleLabel(list_, "可导入的浏览器");
  list_.set_selection_mode(Gtk::SelectionMode::SINGLE);
  for (const core::BookmarkSource& source : sources_) {
    auto* label = Gtk::make_managed<Gtk::Label>(source.label);
    label->set_xalign(0);
    label->set_margin(6);
    label->set_tooltip_text(source.file.string());
    list_.append(*label);
  }
  if (Gtk::ListBoxRow* first = list_.get_row_at_index(0)) list_.select_row(*first);
  list_.signal_row_activated().connect([this](Gtk::ListBoxRow* row) {
    if (row != nullptr) ImportSource(static_cast<std::size_t>(row->get_index()));
  });
  scroller_.set_child(list_);
  scroller_.set_vexpand(true);
  scroller_.set_has_frame(true);
  none_found_.set_visible(sources_.empty());
  none_found_.set_xalign(0);
  file_button_.set_name("从文件导入");
  import_button_.set_name("导入");
  import_button_.add_css_class("suggested-action");
  import_button_.set_sensitive(!sources_.empty());
  close_button_.set_name("关闭");
  spinner_.set_name("busy");
  file_button_.signal_clicked().connect(sigc::mem_fun(*this, &ImportFavouritesWindow::OnPickFile));
  import_button_.signal_clicked().connect([this] {
    if (Gtk::ListBoxRow* row = list_.get_selected_row()) ImportSource(static_cast<std::size_t>(row->get_index()));
  });
  close_button_.signal_clicked().connect([this] { close(); });
  buttons_.append(spinner_);
  buttons_.append(file_button_);
  auto* gap = Gtk::make_managed<Gtk::Box>();
  gap->set_hexpand(true);
  buttons_.append(*gap);
  buttons_.append(close_button_);
  buttons_.append(import_button_);
  layout_.set_margin(16);
  layout_.append(intro_);
  layout_.append(scroller_);
  layout_.append(none_found_);
  layout_.append(buttons_);
  set_child(layout_);
}

void ImportFavouritesWindow::ImportSource(std::size_t index) {
  if (index < sources_.size()) Import(sources_[index]);
}

void ImportFavouritesWindow::ImportFile(const std::filesystem::path& file) {
  Import({core::DetectBookmarkFormat(file), file.filename().string(), file});
}

void ImportFavouritesWindow::OnPickFile() {
  // The chooser lives until its answer has been handled.
  chooser_ = Gtk::FileChooserNative::create("选择要导入的收藏文件", *this, Gtk::FileChooser::Action::OPEN, "导入", "取消");
  chooser_->set_modal(true);
  auto filter = Gtk::FileFilter::create();
  filter->set_name("收藏文件（HTML、places.sqlite、Bookmarks）");
  for (const char* pattern : {"*.html", "*.htm", "*.HTML", "*.sqlite", "Bookmarks", "*.json"}) filter->add_pattern(pattern);
  chooser_->add_filter(filter);
  auto all = Gtk::FileFilter::create();
  all->set_name("所有文件");
  all->add_pattern("*");
  chooser_->add_filter(all);
  chooser_->signal_response().connect([this](int response) {
    Guard("import favourites", [&] {
      // A dismissed chooser is no error and says nothing.
      if (response == Gtk::ResponseType::ACCEPT) {
        if (auto file = chooser_->get_file()) ImportFile(file->get_path());
      }
      chooser_->hide();
    });
  });
  chooser_->show();
}

void ImportFavouritesWindow::SetBusy(bool busy) {
  busy_ = busy;
  spinner_.set_spinning(busy);
  import_button_.set_sensitive(!busy && !sources_.empty());
  file_button_.set_sensitive(!busy);
}

void ImportFavouritesWindow::Import(core::BookmarkSource source) {
  if (busy_) return;
  SetBusy(true);
  const core::FavouritesStore store = context_.favourites();
  context_.tasks().Run<ImportResult>(
      tasks_,
      [store, source](std::stop_token stop) {
        ImportResult result;
        const core::BookmarkRead read = core::ReadBookmarkFile(source.file, source.format);
        if (!read.ok) {
          result.error = read.error;
          return result;
        }
        result.read = true;
        result.report = core::ImportBookmarks(store, read.root, stop);
        return result;
      },
      [this, label = source.label](ImportResult result) {
        SetBusy(false);
        if (!result.read) {
          core::LogWarning("favourites import", result.error);
          context_.ui_host().Error(this, "无法读取“" + label + "”的收藏：" + result.error);
          return;
        }
        context_.ui_host().Info(this, ImportReportText(result.report));
      });
}

void OpenImportFavourites(AppContext& context, Gtk::Window& parent) {
  context.ui_host().ShowModal(std::make_unique<ImportFavouritesWindow>(context, Glib::get_home_dir()), &parent);
}

void ExportFavourites(AppContext& context, Gtk::Window& parent) {
  sigc::slot<void(const std::filesystem::path&)> export_to = sigc::track_object(
      [&context, &parent](const std::filesystem::path& file) { ExportFavouritesTo(context, &parent, file); }, parent);
  context.ui_host().ChooseSaveFile(&parent, "导出收藏", "导出", {}, "NUVE收藏.html",
                                   [export_to](const std::filesystem::path& file) {
                                     if (!file.empty()) export_to(file);
                                   });
}

void ExportFavouritesTo(AppContext& context, Gtk::Window* parent, const std::filesystem::path& file) {
  struct Written {
    core::Status status;
    std::size_t count = 0;
  };
  // The scope lives with the answer; the message stands over the parent
  // only while the parent exists.
  auto scope = std::make_shared<core::TaskScope>();
  sigc::slot<void(Written)> tell = [&context, parent, file](Written written) {
    if (!written.status.ok()) {
      context.ui_host().Error(parent, "导出失败：" + written.status.error().detail);
      return;
    }
    context.ui_host().Info(parent, "已导出 " + std::to_string(written.count) + " 个收藏到 " + file.string());
  };
  if (parent != nullptr) tell = sigc::track_object(tell, *parent);
  const core::FavouritesStore store = context.favourites();
  context.tasks().Run<Written>(
      *scope,
      [store, file](std::stop_token) {
        Written written;
        written.status = core::ExportFavourites(store, file, &written.count);
        return written;
      },
      [scope, tell](Written written) { tell(std::move(written)); });
}

}  // namespace nuve::ui
