#pragma once
// Avatars: the check by MD5, the upload, the profile update that may point
// at an uploaded image, and the images themselves for "headUrl".

#include <optional>

#include "server/api/api_request.h"
#include "server/api/service_deps.h"
#include "server/api/session_auth.h"
#include "server/store/records.h"

namespace nuve::server {

class ImageApi {
 public:
  explicit ImageApi(const ServiceDeps& deps) : deps_(deps), auth_(deps) {}

  // hash -> the image's record when the service holds it.
  ApiReply CheckImage(const ApiRequest& request) const;
  // Multipart: the part "img"; the browser names the file
  // "Tavrine_IMG_" + token + "_Tavrine.file", which is how the uploader is
  // known. A new image counts against the uploader's quota.
  ApiReply UploadImage(const ApiRequest& request) const;
  // token[, name][, phone][, headImg]: headImg is the hash or the address
  // of an uploaded image, or "" for none. A request with an e-mail is
  // refused: that takes the password (SessionApi::ChangeEmail).
  ApiReply UpdateUserInfo(const ApiRequest& request) const;
  // The bytes behind /img/HASH.
  std::optional<ImageContent> Image(const std::string& hash) const;

 private:
  const ServiceDeps& deps_;
  SessionAuth auth_;
};

// The token inside an upload's file name; "" when the name has none.
std::string UploadToken(const std::string& filename);

}  // namespace nuve::server
