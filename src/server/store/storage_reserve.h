#pragma once
// The free space on the disk that holds the database. Below the reserve,
// writes that make the database grow are refused ("服务器存储空间不足"), so
// that logins and keep-alives, which write little, go on working in what is
// left and a full disk never stops the service for everyone.

#include <atomic>
#include <cstdint>
#include <filesystem>

namespace nuve::server {

class StorageReserve {
 public:
  // `folder` empty: the database is elsewhere (PostgreSQL watches its own
  // disk), and the reserve is never crossed.
  StorageReserve(std::filesystem::path folder, std::int64_t reserve_bytes);

  // Whether the free space is below the reserve; the disk is asked at most
  // once a second.
  bool Low() const;
  std::int64_t reserve_bytes() const { return reserve_; }

 private:
  const std::filesystem::path folder_;
  const std::int64_t reserve_;
  mutable std::atomic<std::int64_t> checked_ms_{-1'000'000};
  mutable std::atomic<bool> low_{false};
};

}  // namespace nuve::server
