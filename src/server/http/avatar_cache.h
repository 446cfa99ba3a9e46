#pragma once
// The avatars being sent. Clients that read one avatar slowly, a thousand at
// once, share one copy of its bytes, and the bytes of all avatars being sent
// are bounded: past the bound a request for another one waits for its next
// try instead of filling the memory.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "server/store/records.h"

namespace nuve::server {

class AvatarCache {
 public:
  struct Avatar {
    std::shared_ptr<const std::string> bytes;
    std::string mime;
  };
  enum class Outcome { kFound, kNoSuchImage, kFull };
  using Loader = std::function<std::optional<ImageContent>(const std::string& hash)>;

  explicit AvatarCache(std::int64_t max_bytes_in_flight) : max_bytes_(max_bytes_in_flight) {}

  // The avatar `hash`, shared with every answer that sends it now, or read
  // with `load` (which may throw StoreError). Sets `avatar` for kFound.
  Outcome Get(const std::string& hash, const Loader& load, Avatar& avatar);

 private:
  struct Live {
    std::weak_ptr<const std::string> bytes;
    std::string mime;
  };
  const std::int64_t max_bytes_;
  std::mutex mutex_;
  std::unordered_map<std::string, Live> live_;
  // Shared with the bytes' deleter, which may outlive nothing but the cache.
  std::shared_ptr<std::atomic<std::int64_t>> in_flight_ = std::make_shared<std::atomic<std::int64_t>>(0);
};

}  // namespace nuve::server
