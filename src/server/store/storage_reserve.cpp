#include "server/store/storage_reserve.h"

#include <sys/statvfs.h>

#include <chrono>

namespace nuve::server {

StorageReserve::StorageReserve(std::filesystem::path folder, std::int64_t reserve_bytes)
    : folder_(std::move(folder)), reserve_(reserve_bytes) {}

bool StorageReserve::Low() const {
  if (folder_.empty() || reserve_ <= 0) return false;
  const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
  std::int64_t checked = checked_ms_.load();
  if (now - checked >= 1000 && checked_ms_.compare_exchange_strong(checked, now)) {
    struct statvfs fs {};
    // The space an unprivileged writer may use: root's own reserve of the
    // file system does not count.
    if (statvfs(folder_.c_str(), &fs) == 0) {
      const auto free_bytes = static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize);
      low_ = free_bytes < reserve_;
    }
  }
  return low_;
}

}  // namespace nuve::server
