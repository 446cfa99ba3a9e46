#include "core/account/request_record.h"

namespace nuve::core {

void RequestRecord::Write(std::string value) {
  std::lock_guard lock(mutex_);
  values_.push_back(std::move(value));
}

std::string RequestRecord::Read() {
  std::lock_guard lock(mutex_);
  if (next_ >= values_.size()) return {};
  return values_[next_++];
}

void RequestRecord::Rewind() {
  std::lock_guard lock(mutex_);
  next_ = 0;
}

void RequestRecord::Clear() {
  std::lock_guard lock(mutex_);
  values_.clear();
  next_ = 0;
}

}  // namespace nuve::core
