#include "core/sync/sync_state_file.h"

#include <glib.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/app/log.h"
#include "core/sync/json_writer.h"
#include "core/sync/sync_crypto.h"
#include "core/util/atomic_file.h"

namespace nuve::core {
namespace {

using nlohmann::json;

bool ItemFrom(const json& j, SyncItem& item) {
  if (!j.is_array() || j.size() != 5 || !j[0].is_string() || !j[1].is_string() || !j[2].is_number_integer() ||
      !j[3].is_string() || !j[4].is_string()) {
    return false;
  }
  item.id = j[0].get<std::string>();
  item.parent = j[1].get<std::string>();
  item.folder = j[2].get<int>() == 1;
  item.name = j[3].get<std::string>();
  item.address = j[4].get<std::string>();
  return IsSyncId(item.id);
}

// File names that are not UTF-8 (written by the Windows version) are kept
// as base64.
std::string PathFrom(const json& j) {
  if (j.is_string()) return j.get<std::string>();
  if (j.is_object() && j.contains("b64") && j["b64"].is_string()) {
    return FromBase64(j["b64"].get<std::string>()).value_or("");
  }
  return {};
}

// A field of the state file, or `fallback` when it is missing or of another
// kind: a damaged file must neither throw nor squeeze a huge number into a
// smaller type.
std::int64_t IntOr(const json& doc, const char* key, std::int64_t fallback) {
  const auto it = doc.find(key);
  return it != doc.end() && it->is_number_integer() ? it->get<std::int64_t>() : fallback;
}
std::string StringOr(const json& doc, const char* key) {
  const auto it = doc.find(key);
  return it != doc.end() && it->is_string() ? it->get<std::string>() : std::string();
}
bool BoolOr(const json& doc, const char* key) {
  const auto it = doc.find(key);
  return it != doc.end() && it->is_boolean() && it->get<bool>();
}

}  // namespace

SyncState LoadSyncState(const std::filesystem::path& file) {
  SyncState state;
  std::ifstream in(file, std::ios::binary);
  if (!in) return state;
  std::stringstream text;
  text << in.rdbuf();
  const json doc = json::parse(text.str(), nullptr, false);
  if (!doc.is_object() || IntOr(doc, "v", 0) != 1) {
    LogWarning("favourites sync", file.string() + " is damaged; the next sync merges without it");
    return state;
  }
  SyncState read;
  read.account = StringOr(doc, "account");
  read.generation = IntOr(doc, "generation", 0);
  read.revision = IntOr(doc, "revision", -1);
  read.last_synced_ms = IntOr(doc, "lastSynced", 0);
  if (doc.contains("base") && doc["base"].is_array()) {
    for (const json& j : doc["base"]) {
      SyncItem item;
      if (!ItemFrom(j, item)) return state;
      read.base.emplace(item.id, std::move(item));
    }
  }
  if (doc.contains("local") && doc["local"].is_array()) {
    // [id, parent, kind, name, address, path, inode, mtime, size]
    for (const json& j : doc["local"]) {
      LocalEntry e;
      if (!j.is_array() || j.size() != 9 || !j[6].is_number_unsigned() || !j[7].is_number_integer() ||
          !j[8].is_number_unsigned()) {
        return state;
      }
      if (!ItemFrom(json::array({j[0], j[1], j[2], j[3], j[4]}), e.item)) return state;
      e.path = PathFrom(j[5]);
      e.inode = j[6].get<std::uint64_t>();
      e.mtime_ns = j[7].get<std::int64_t>();
      e.size = j[8].get<std::uint64_t>();
      if (!e.path.empty()) read.local.push_back(std::move(e));
    }
  }
  // Mostly the two agree, and the base is written as "as local".
  if (BoolOr(doc, "baseIsLocal")) {
    for (const LocalEntry& e : read.local) read.base.emplace(e.item.id, e.item);
  }
  return read;
}

Status SaveSyncState(const std::filesystem::path& file, const SyncState& state) {
  const auto item = [](std::string& out, const SyncItem& i) {
    AppendJsonString(out, i.id);
    out += ',';
    AppendJsonString(out, i.parent);
    out += i.folder ? ",1," : ",0,";
    AppendJsonString(out, i.name);
    out += ',';
    AppendJsonString(out, i.address);
  };
  bool base_is_local = state.base.size() == state.local.size();
  std::string local = "[";
  local.reserve(state.local.size() * 160);
  for (const LocalEntry& e : state.local) {
    if (local.size() > 1) local += ',';
    local += '[';
    item(local, e.item);
    local += ',';
    if (g_utf8_validate(e.path.data(), static_cast<gssize>(e.path.size()), nullptr)) {
      AppendJsonString(local, e.path);
    } else {
      local += "{\"b64\":";
      AppendJsonString(local, ToBase64(e.path));
      local += '}';
    }
    local += ',' + std::to_string(e.inode) + ',' + std::to_string(e.mtime_ns) + ',' + std::to_string(e.size) + ']';
    if (base_is_local) {
      const auto it = state.base.find(e.item.id);
      base_is_local = it != state.base.end() && it->second == e.item;
    }
  }
  local += ']';
  std::string base = "[";
  if (!base_is_local) {
    for (const auto& [id, i] : state.base) {
      if (base.size() > 1) base += ',';
      base += '[';
      item(base, i);
      base += ']';
    }
  }
  base += ']';
  std::string text = "{\"v\":1,\"account\":";
  AppendJsonString(text, state.account);
  text += ",\"generation\":" + std::to_string(state.generation) + ",\"revision\":" + std::to_string(state.revision) +
          ",\"lastSynced\":" + std::to_string(state.last_synced_ms) +
          ",\"baseIsLocal\":" + (base_is_local ? "true" : "false") + ",\"base\":" + base + ",\"local\":" + local + "}";
  return WriteFileAtomically(file, text, 0600);
}

}  // namespace nuve::core
