#pragma once
// The downloads of this run, in the order they started, one list for every
// window: every download the web engine begins (a link to a file, a
// response no page can show) in any profile watched comes here, is saved
// into the download folder under a name of its own, and stays in the list
// with its outcome. A private profile's downloads leave the list when that
// profile ends (their files stay: saving them was the user's own act).

#include <webkit/webkit.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <sigc++/sigc++.h>

#include "ui/downloads/download_item.h"

namespace nuve::ui {

class EngineProfile;
class UiHost;

class DownloadManager : public sigc::trackable {
 public:
  DownloadManager(EngineProfile& profile, UiHost& ui_host, std::filesystem::path folder);
  ~DownloadManager();
  // The downloads of `profile` join the list too.
  void Watch(EngineProfile& profile);
  // `profile` ends: its downloads leave the list (running ones are
  // cancelled, leaving no partial file) and it is watched no more.
  void Forget(const EngineProfile& profile);
  DownloadManager(const DownloadManager&) = delete;
  DownloadManager& operator=(const DownloadManager&) = delete;

  const std::vector<std::unique_ptr<DownloadItem>>& items() const { return items_; }
  const std::filesystem::path& folder() const { return folder_; }
  // Asks where to save a download started with "…另存为…".
  UiHost& ui_host() { return ui_host_; }
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
  // A download is about to leave the list (it is deleted right after).
  sigc::signal<void(DownloadItem&)>& signal_removed() { return removed_; }
  sigc::signal<void(const std::string&)>& signal_status() { return status_; }

 private:
  void OnDownloadStarted(const EngineProfile* profile, WebKitDownload* download);

  UiHost& ui_host_;
  std::filesystem::path folder_;
  std::vector<std::unique_ptr<DownloadItem>> items_;
  // The profile each item of items_ came from, at the same index.
  std::vector<const EngineProfile*> sources_;
  std::vector<std::pair<const EngineProfile*, sigc::connection>> watched_;
  std::set<std::filesystem::path> reserved_;
  sigc::signal<void(DownloadItem&)> added_;
  sigc::signal<void(DownloadItem&)> removed_;
  sigc::signal<void(const std::string&)> status_;
};

}  // namespace nuve::ui
