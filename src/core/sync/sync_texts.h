#pragma once
// What the windows say about the favourites sync.

#include <cstdint>
#include <string>

#include "core/sync/favourites_sync_service.h"

namespace nuve::core {

// "上次同步：2024-05-01 14:03" (local time), or "上次同步：尚未同步".
std::string LastSyncedText(std::int64_t synced_ms);
// One line on the state: "正在同步…", "收藏已同步", "无法连接服务，稍后自动重试"...
std::string SyncStateText(const SyncStatus& status);
// The message box for a result the user must hear about at once; "" for
// the others.
std::string SyncAlertText(SyncResult result);

}  // namespace nuve::core
