#pragma once
// One image stored by the service, kept as its JSON object text and read
// member by member on demand.

#include <cstdint>
#include <string>

#include "core/util/codec_util.h"

namespace nuve::core {

class UploadedImage {
 public:
  void SetText(const std::string& text) { text_ = text; }
  const std::string& Text() const { return text_; }

  std::string Hash() const;
  DateTime CreateTime() const;
  std::int32_t Id() const;
  std::string Ossurl() const;
  std::int32_t ReferenceNum() const;

 private:
  std::string text_;
};

}  // namespace nuve::core
