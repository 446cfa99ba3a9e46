#include "core/sync/sync_texts.h"

#include <glib.h>

namespace nuve::core {

std::string LastSyncedText(std::int64_t synced_ms) {
  if (synced_ms <= 0) return "上次同步：尚未同步";
  GDateTime* utc = g_date_time_new_from_unix_utc(synced_ms / 1000);
  GDateTime* local = utc != nullptr ? g_date_time_to_local(utc) : nullptr;
  gchar* text = local != nullptr ? g_date_time_format(local, "%Y-%m-%d %H:%M") : nullptr;
  std::string out = std::string("上次同步：") + (text != nullptr ? text : "?");
  g_free(text);
  if (local != nullptr) g_date_time_unref(local);
  if (utc != nullptr) g_date_time_unref(utc);
  return out;
}

std::string SyncStateText(const SyncStatus& status) {
  using State = SyncStatus::State;
  switch (status.state) {
    case State::kOff: return "登录后收藏会与帐号同步";
    case State::kWorking: return "正在同步…";
    case State::kSynced:
      if (status.last_merge.kept_both > 0) {
        return "收藏已同步；" + std::to_string(status.last_merge.kept_both) +
               " 个收藏在两处都被修改过，两个版本都已保留";
      }
      return "收藏已同步";
    case State::kWaiting: return "无法连接服务，收藏的改动会在连上后同步";
    case State::kDecision: return "云端的收藏无法读取，需要重新开始同步";
    case State::kFailed: break;
  }
  switch (status.last_result) {
    case SyncResult::kNotLoggedIn: return "登录已过期，请重新登录后同步";
    case SyncResult::kKeyChanged: return "另一台电脑重新开始了同步，请重新登录";
    case SyncResult::kUndecryptable: return "同步失败：云端的收藏未通过校验";
    case SyncResult::kReplayed: return "同步失败：服务返回了过期的收藏";
    case SyncResult::kBadReply: return "同步失败：服务的回复无法读取";
    case SyncResult::kRefused: return "同步失败：" + status.detail;
    case SyncResult::kLocalFailure: return "同步失败：无法读写收藏夹";
    default: return "同步失败";
  }
}

std::string SyncAlertText(SyncResult result) {
  switch (result) {
    case SyncResult::kUndecryptable:
      return "收藏同步失败：从服务取回的收藏未通过校验，可能已被篡改或不是用您的密钥加密的。"
             "本机的收藏没有任何改动。";
    case SyncResult::kReplayed:
      return "收藏同步失败：服务返回了比上次更旧的收藏。本机的收藏没有任何改动。";
    case SyncResult::kBadReply:
      return "收藏同步失败：服务的回复无法读取。本机的收藏没有任何改动，稍后会再试。";
    case SyncResult::kKeyReset:
      return "您的密码已被重置。云端的收藏是用旧密码加密的，已经无法读取。\n"
             "是否用本机的收藏重新开始同步？（云端原有的收藏将被丢弃，本机的收藏不受影响。）";
    case SyncResult::kKeyUnreadable:
      return "云端的收藏无法用当前密码解密（密码可能在别处被重置过）。\n"
             "是否用本机的收藏重新开始同步？（云端原有的收藏将被丢弃，本机的收藏不受影响。）";
    default: return {};
  }
}

}  // namespace nuve::core
