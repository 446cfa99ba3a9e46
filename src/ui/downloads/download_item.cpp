#include "ui/downloads/download_item.h"

#include <gtkmm/window.h>

#include <algorithm>
#include <system_error>

#include "core/app/log.h"
#include "core/downloads/download_names.h"
#include "ui/app/guard.h"
#include "ui/app/ui_host.h"
#include "ui/downloads/download_manager.h"

namespace nuve::ui {
namespace {

DownloadItem* Self(gpointer data) { return static_cast<DownloadItem*>(data); }

constexpr const char* kAskWhereKey = "nuve-ask-where-to-save";

// Progress is redrawn at most this often; a fast download delivers
// thousands of chunks a second.
constexpr auto kSampleInterval = std::chrono::milliseconds(500);

std::string FailureText(GError* error) {
  if (error->domain == WEBKIT_DOWNLOAD_ERROR && error->code == WEBKIT_DOWNLOAD_ERROR_DESTINATION) {
    return std::string("无法写入文件（") + error->message + "）";
  }
  if (error->domain == WEBKIT_NETWORK_ERROR || error->domain == G_IO_ERROR) {
    return std::string("网络错误（") + error->message + "）";
  }
  return error->message;
}

}  // namespace

struct DownloadItemCallbacks {
  static gboolean DecideDestinationCb(WebKitDownload*, gchar* suggested, gpointer self) noexcept {
    return Guard("decide-destination", [&] {
      return static_cast<gboolean>(Self(self)->OnDecideDestination(suggested != nullptr ? suggested : ""));
    });
  }
  static void ReceivedDataCb(WebKitDownload*, guint64, gpointer self) noexcept {
    Guard("received-data", [&] { Self(self)->OnReceivedData(); });
  }
  static void FailedCb(WebKitDownload*, GError* error, gpointer self) noexcept {
    Guard("download failed", [&] { Self(self)->OnFailed(error); });
  }
  static void FinishedCb(WebKitDownload*, gpointer self) noexcept {
    Guard("download finished", [&] { Self(self)->OnFinished(); });
  }
};

DownloadItem::DownloadItem(WebKitDownload* download, DownloadManager& manager)
    : download_(WEBKIT_DOWNLOAD(g_object_ref(download))), manager_(manager) {
  using C = DownloadItemCallbacks;
  auto connect = [this](const char* signal, GCallback cb) { connections_.emplace_back(download_, signal, cb, this); };
  connect("decide-destination", G_CALLBACK(C::DecideDestinationCb));
  connect("received-data", G_CALLBACK(C::ReceivedDataCb));
  connect("failed", G_CALLBACK(C::FailedCb));
  connect("finished", G_CALLBACK(C::FinishedCb));
  sample_time_ = std::chrono::steady_clock::now();
}

DownloadItem::~DownloadItem() {
  connections_.clear();
  if (!finished()) {
    // The program is closing while the download runs: nothing half-written stays.
    webkit_download_cancel(download_);
    RemovePartialFile();
  }
  g_object_unref(download_);
}

std::string DownloadItem::DisplayName() const {
  if (!final_path_.empty()) return final_path_.filename().string();
  if (!suggested_name_.empty()) return suggested_name_;
  return source_uri();
}

std::string DownloadItem::source_uri() const {
  WebKitURIRequest* request = webkit_download_get_request(download_);
  const char* uri = request != nullptr ? webkit_uri_request_get_uri(request) : nullptr;
  return uri != nullptr ? uri : "";
}

double DownloadItem::progress() const {
  if (state_ == State::kCompleted) return 1.0;
  if (total_ > 0) return std::clamp(static_cast<double>(received_) / static_cast<double>(total_), 0.0, 1.0);
  return std::clamp(webkit_download_get_estimated_progress(download_), 0.0, 1.0);
}

void DownloadItem::Cancel() {
  if (finished()) return;
  webkit_download_cancel(download_);
}

void DownloadItem::AskWhereToSave(WebKitDownload* download) {
  g_object_set_data(G_OBJECT(download), kAskWhereKey, GINT_TO_POINTER(1));
}

bool DownloadItem::OnDecideDestination(const std::string& suggested) {
  suggested_name_ = core::SafeDownloadName(suggested);
  if (g_object_get_data(G_OBJECT(download_), kAskWhereKey) != nullptr) {
    // The transfer waits until a destination is set or it is cancelled.
    Gtk::Window* parent = nullptr;
    if (WebKitWebView* view = webkit_download_get_web_view(download_)) {
      parent = dynamic_cast<Gtk::Window*>(Glib::wrap(GTK_WIDGET(view))->get_root());
    }
    manager_.ui_host().ChooseSaveFile(parent, "另存为", "保存", manager_.folder(), suggested_name_,
                                      scope_.Bind([this](const std::filesystem::path& chosen) {
                                        OnDestinationChosen(chosen);
                                      }));
    return true;
  }
  std::string problem;
  final_path_ = manager_.ChooseDestination(suggested_name_, problem);
  if (final_path_.empty()) {
    Fail(problem);
    webkit_download_cancel(download_);
    return true;
  }
  Start();
  return true;
}

void DownloadItem::OnDestinationChosen(const std::filesystem::path& chosen) {
  if (finished()) return;
  if (chosen.empty()) {
    webkit_download_cancel(download_);  // reported as cancelled by "failed"
    return;
  }
  // The chooser asked before replacing a file of that name: the user chose it.
  final_path_ = chosen;
  replace_ = true;
  Start();
}

void DownloadItem::Start() {
  part_path_ = core::PartialDownloadPath(final_path_);
  webkit_download_set_allow_overwrite(download_, FALSE);
  webkit_download_set_destination(download_, part_path_.c_str());
  state_ = State::kRunning;
  manager_.ReportStatus("开始下载：" + DisplayName());
  changed_.emit();
}

void DownloadItem::OnReceivedData() {
  received_ = webkit_download_get_received_data_length(download_);
  if (total_ == 0) {
    if (WebKitURIResponse* response = webkit_download_get_response(download_)) {
      total_ = webkit_uri_response_get_content_length(response);
    }
  }
  const auto now = std::chrono::steady_clock::now();
  const auto elapsed = now - sample_time_;
  if (elapsed < kSampleInterval) return;
  const double seconds = std::chrono::duration<double>(elapsed).count();
  speed_ = static_cast<double>(received_ - std::min(received_, sample_bytes_)) / seconds;
  sample_time_ = now;
  sample_bytes_ = received_;
  changed_.emit();
}

void DownloadItem::OnFailed(GError* error) {
  if (state_ == State::kFailed) return;  // already failed (the folder could not be written)
  if (error != nullptr && error->domain == WEBKIT_DOWNLOAD_ERROR &&
      error->code == WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER) {
    state_ = State::kCancelled;
    manager_.ReportStatus("已取消下载：" + DisplayName());
    changed_.emit();
    return;
  }
  Fail(error != nullptr ? FailureText(error) : "未知错误");
}

void DownloadItem::Fail(std::string problem) {
  state_ = State::kFailed;
  problem_ = std::move(problem);
  core::LogWarning("download", DisplayName() + ": " + problem_);
  manager_.ReportStatus("下载失败：" + DisplayName() + "（" + problem_ + "）");
  changed_.emit();
}

void DownloadItem::OnFinished() {
  // "finished" also follows "failed"; the engine has let go of the file by now.
  if (state_ == State::kCancelled || state_ == State::kFailed) {
    RemovePartialFile();
    manager_.Release(final_path_);
    return;
  }
  received_ = webkit_download_get_received_data_length(download_);
  std::error_code ec;
  // Another program may have taken the name meanwhile: never overwrite it,
  // unless the user chose to replace that file.
  if (!replace_ && std::filesystem::exists(final_path_, ec)) {
    const auto taken = final_path_;
    final_path_ = core::UniqueDownloadPath(final_path_.parent_path(), final_path_.filename().string());
    manager_.Release(taken);
  }
  std::filesystem::rename(part_path_, final_path_, ec);
  manager_.Release(final_path_);
  if (ec) {
    Fail("无法保存文件（" + ec.message() + "）");
    RemovePartialFile();
    return;
  }
  state_ = State::kCompleted;
  speed_ = 0;
  manager_.ReportStatus("下载完成：" + DisplayName());
  changed_.emit();
}

void DownloadItem::RemovePartialFile() {
  if (part_path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove(part_path_, ec);
}

}  // namespace nuve::ui
