#pragma once
// The downloads of this run, in the order they started: every download the
// web engine begins (a link to a file, a response no page can show) comes
// here, is saved into the download folder under a name of its own, and
// stays in the list with its outcome.

#include <webkit/webkit.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <sigc++/sigc++.h>

#include "ui/downloads/download_item.h"

namespace nuve::ui {

class EngineProfile;

class DownloadManager : public sigc::trackable {
 public:
  DownloadManager(EngineProfile& profile, std::filesystem::path folder);
  ~DownloadManager();
  DownloadManager(const DownloadManager&) = delete;
  DownloadManager& operator=(const DownloadManager&) = delete;

  const std::vector<std::unique_ptr<DownloadItem>>& items() const { return items_; }
  const std::filesystem::path& folder() const { return folder_; }
  bool HasRunningDownloads() const;

  // A path in the download folder for `name` that no file and no other
  // download holds, reserved until Release; "" with `problem` set when the
  // folder cannot be made or written.
  std::filesystem::path ChooseDestination(const std::string& name, std::string& problem);
  void Release(const std::filesystem::path& path);
  // A line for the status bar (a download started, ended or failed).
  void ReportStatus(const std::string& text) { status_.emit(text); }

  // A new download joined the list (it is last in items()).
  sigc::signal<void(DownloadItem&)>& signal_added() { return added_; }
  sigc::signal<void(const std::string&)>& signal_status() { return status_; }

 private:
  void OnDownloadStarted(WebKitDownload* download);

  std::filesystem::path folder_;
  std::vector<std::unique_ptr<DownloadItem>> items_;
  std::set<std::filesystem::path> reserved_;
  sigc::signal<void(DownloadItem&)> added_;
  sigc::signal<void(const std::string&)> status_;
};

}  // namespace nuve::ui
