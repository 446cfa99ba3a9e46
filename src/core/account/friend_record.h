#pragma once
// One friend. Reads its members once, in LoadFields, and keeps typed fields.

#include <cstdint>
#include <string>

#include "core/util/codec_util.h"

namespace nuve::core {

class FriendRecord {
 public:
  FriendRecord();

  // Reads "id", "userId", "createTime", "nicker", "account", "remark" and
  // "headPath" from one JSON object and overwrites all seven fields.
  void LoadFields(const std::string& json);

  std::int32_t Id() const { return id_; }
  std::int32_t UserId() const { return user_id_; }
  DateTime CreateTime() const { return create_time_; }
  const std::string& Nicker() const { return nicker_; }
  const std::string& Account() const { return account_; }
  const std::string& Remark() const { return remark_; }
  const std::string& HeadPath() const { return head_path_; }
  // The picture behind HeadPath(), fetched anew at every call through the
  // proxy of `options` (blocks up to 15 s; "" on any failure).
  std::string HeadImage(const ReadUrlOptions& options = {}) const;

 private:
  std::int32_t id_ = 0;
  std::int32_t user_id_ = 0;
  DateTime create_time_;
  std::string nicker_;
  std::string account_;
  std::string remark_;
  std::string head_path_;
};

}  // namespace nuve::core
