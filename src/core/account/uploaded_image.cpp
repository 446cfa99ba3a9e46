#include "core/account/uploaded_image.h"

namespace nuve::core {

std::string UploadedImage::Hash() const { return ReadJsonMember(text_, "hash"); }

DateTime UploadedImage::CreateTime() const {
  return TextToDateTime(ReadJsonMember(text_, "createTime"));
}

std::int32_t UploadedImage::Id() const { return TextToInt32(ReadJsonMember(text_, "id")); }

std::string UploadedImage::Ossurl() const { return ReadJsonMember(text_, "ossurl"); }

std::int32_t UploadedImage::ReferenceNum() const {
  return TextToInt32(ReadJsonMember(text_, "referenceNum"));
}

}  // namespace nuve::core
