#pragma once
// One announcement of the service: an element of an announcement list,
// kept as its JSON object text and read member by member on demand.

#include <cstdint>
#include <string>

#include "core/util/codec_util.h"

namespace nuve::core {

class Announcement {
 public:
  void SetText(const std::string& text) { text_ = text; }
  const std::string& Text() const { return text_; }

  std::string Title() const;
  std::int32_t Id() const;
  DateTime PushTime() const;

 private:
  std::string text_;
};

}  // namespace nuve::core
