#pragma once
// One download: it writes to "<name>.part" in the download folder and takes
// its final name only when complete; a cancelled or failed download leaves
// no partial file. It tells its list about progress, speed and the end.

#include <webkit/webkit.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <sigc++/sigc++.h>

#include "core/util/task_scope.h"
#include "ui/main/g_signal_connection.h"

namespace nuve::ui {

class DownloadManager;
struct DownloadItemCallbacks;

class DownloadItem {
 public:
  // Marks a download the user started with "…另存为…": where to save it is
  // asked, starting in the download folder, before anything is received.
  static void AskWhereToSave(WebKitDownload* download);

  enum class State { kStarting, kRunning, kCompleted, kCancelled, kFailed };

  DownloadItem(WebKitDownload* download, DownloadManager& manager);
  ~DownloadItem();
  DownloadItem(const DownloadItem&) = delete;
  DownloadItem& operator=(const DownloadItem&) = delete;

  State state() const { return state_; }
  bool finished() const { return state_ == State::kCompleted || state_ == State::kCancelled || state_ == State::kFailed; }
  // The file name shown; the final name once the destination is chosen.
  std::string DisplayName() const;
  const std::filesystem::path& final_path() const { return final_path_; }
  const std::filesystem::path& partial_path() const { return part_path_; }
  std::uint64_t received_bytes() const { return received_; }
  // 0 when the server did not say.
  std::uint64_t total_bytes() const { return total_; }
  // 0..1.
  double progress() const;
  double bytes_per_second() const { return speed_; }
  // Why it failed, in words for the user.
  const std::string& problem() const { return problem_; }
  std::string source_uri() const;

  void Cancel();

  // Progress (at most a few times a second) or state changed.
  sigc::signal<void()>& signal_changed() { return changed_; }

 private:
  friend struct DownloadItemCallbacks;

  bool OnDecideDestination(const std::string& suggested);
  // The user's answer to where to save it; empty when the user cancelled.
  void OnDestinationChosen(const std::filesystem::path& chosen);
  // Writes to "<final_path_>.part" and lets the transfer start.
  void Start();
  void OnReceivedData();
  void OnFailed(GError* error);
  void OnFinished();
  void Fail(std::string problem);
  void RemovePartialFile();

  WebKitDownload* download_;  // strong reference
  DownloadManager& manager_;
  std::vector<GSignalConnection> connections_;
  State state_ = State::kStarting;
  std::string suggested_name_;
  std::filesystem::path final_path_;
  std::filesystem::path part_path_;
  // The user chose to replace the file at final_path_.
  bool replace_ = false;
  std::string problem_;
  std::uint64_t received_ = 0;
  std::uint64_t total_ = 0;
  double speed_ = 0;
  std::chrono::steady_clock::time_point sample_time_;
  std::uint64_t sample_bytes_ = 0;
  sigc::signal<void()> changed_;
  // The answer to "where to save" may come after the item is gone.
  core::TaskScope scope_;
};

}  // namespace nuve::ui
