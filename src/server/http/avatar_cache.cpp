#include "server/http/avatar_cache.h"

namespace nuve::server {

AvatarCache::Outcome AvatarCache::Get(const std::string& hash, const Loader& load, Avatar& avatar) {
  {
    std::lock_guard lock(mutex_);
    if (const auto it = live_.find(hash); it != live_.end()) {
      if (auto bytes = it->second.bytes.lock()) {
        avatar = Avatar{std::move(bytes), it->second.mime};
        return Outcome::kFound;
      }
    }
  }
  if (*in_flight_ > max_bytes_) return Outcome::kFull;
  auto image = load(hash);
  if (!image) return Outcome::kNoSuchImage;
  const auto size = static_cast<std::int64_t>(image->bytes.size());
  *in_flight_ += size;
  // The bytes go when the last answer that sends them is done.
  avatar.bytes = std::shared_ptr<const std::string>(new std::string(std::move(image->bytes)),
                                                    [in_flight = in_flight_, size](const std::string* b) {
                                                      *in_flight -= size;
                                                      delete b;
                                                    });
  avatar.mime = image->mime;
  std::lock_guard lock(mutex_);
  if (live_.size() > 256) std::erase_if(live_, [](const auto& e) { return e.second.bytes.expired(); });
  live_[hash] = Live{avatar.bytes, avatar.mime};
  return Outcome::kFound;
}

}  // namespace nuve::server
