#include "ui/downloads/download_manager.h"

#include <unistd.h>

#include <algorithm>

#include "core/app/config.h"
#include "core/downloads/download_names.h"
#include "ui/engine/engine_profile.h"

namespace nuve::ui {

DownloadManager::DownloadManager(EngineProfile& profile, std::filesystem::path folder)
    : folder_(std::move(folder)) {
  profile.signal_download_started().connect(sigc::mem_fun(*this, &DownloadManager::OnDownloadStarted));
}

DownloadManager::~DownloadManager() = default;

bool DownloadManager::HasRunningDownloads() const {
  return std::any_of(items_.begin(), items_.end(), [](const auto& item) { return !item->finished(); });
}

void DownloadManager::OnDownloadStarted(WebKitDownload* download) {
  items_.push_back(std::make_unique<DownloadItem>(download, *this));
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
