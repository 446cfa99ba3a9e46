#include "ui/downloads/download_manager.h"

#include <unistd.h>

#include <algorithm>

#include "core/app/config.h"
#include "core/downloads/download_names.h"
#include "ui/engine/engine_profile.h"

namespace nuve::ui {

DownloadManager::DownloadManager(EngineProfile& profile, UiHost& ui_host, std::filesystem::path folder)
    : ui_host_(ui_host), folder_(std::move(folder)) {
  Watch(profile);
}

DownloadManager::~DownloadManager() {
  for (auto& [profile, connection] : watched_) connection.disconnect();
}

void DownloadManager::Watch(EngineProfile& profile) {
  const EngineProfile* source = &profile;
  watched_.emplace_back(source, profile.signal_download_started().connect(
                                    [this, source](WebKitDownload* download) { OnDownloadStarted(source, download); }));
}

void DownloadManager::Forget(const EngineProfile& profile) {
  std::erase_if(watched_, [&](auto& watched) {
    if (watched.first != &profile) return false;
    watched.second.disconnect();
    return true;
  });
  for (size_t i = items_.size(); i-- > 0;) {
    if (sources_[i] != &profile) continue;
    std::unique_ptr<DownloadItem> item = std::move(items_[i]);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    sources_.erase(sources_.begin() + static_cast<std::ptrdiff_t>(i));
    removed_.emit(*item);
    if (!item->final_path().empty()) Release(item->final_path());
  }
}

bool DownloadManager::HasRunningDownloads() const {
  return std::any_of(items_.begin(), items_.end(), [](const auto& item) { return !item->finished(); });
}

void DownloadManager::OnDownloadStarted(const EngineProfile* profile, WebKitDownload* download) {
  items_.push_back(std::make_unique<DownloadItem>(download, *this));
  sources_.push_back(profile);
  added_.emit(*items_.back());
}

std::filesystem::path DownloadManager::ChooseDestination(const std::string& name, std::string& problem) {
  if (!core::EnsureDirectory(folder_) || access(folder_.c_str(), W_OK) != 0) {
    problem = "无法写入下载文件夹 " + folder_.string();
    return {};
  }
  auto path = core::UniqueDownloadPath(folder_, name, [this](const auto& p) { return reserved_.count(p) > 0; });
  reserved_.insert(path);
  return path;
}

void DownloadManager::Release(const std::filesystem::path& path) { reserved_.erase(path); }

}  // namespace nuve::ui
