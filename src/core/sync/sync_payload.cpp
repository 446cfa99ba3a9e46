#include "core/sync/sync_payload.h"

#include <zlib.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/favourites/favourite_name.h"
#include "core/sync/json_writer.h"

namespace nuve::core {
namespace {

constexpr std::size_t kMaxUnpackedBytes = 64u * 1024 * 1024;
constexpr std::size_t kMaxAddressBytes = 60 * 1024;

std::string Deflate(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
                static_cast<uLong>(text.size()), Z_BEST_SPEED) != Z_OK) {
    return {};
  }
  out.resize(size);
  return out;
}

std::optional<std::string> Inflate(std::string_view packed) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return std::nullopt;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  stream.avail_in = static_cast<uInt>(packed.size());
  std::string out;
  char chunk[64 * 1024];
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    result = inflate(&stream, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) break;
    out.append(chunk, sizeof chunk - stream.avail_out);
    if (out.size() > kMaxUnpackedBytes) {
      result = Z_MEM_ERROR;
      break;
    }
    if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) {
      result = Z_BUF_ERROR;  // the input ended before the stream did
    }
  }
  const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  if (!whole) return std::nullopt;
  return out;
}

}  // namespace

std::string PackSyncTree(const SyncTree& tree) {
  // Sorted by id, so the same tree always packs the same.
  std::vector<const SyncItem*> items;
  items.reserve(tree.size());
  for (const auto& [id, item] : tree) items.push_back(&item);
  std::sort(items.begin(), items.end(), [](const SyncItem* a, const SyncItem* b) { return a->id < b->id; });
  std::string text = "{\"v\":1,\"items\":[";
  text.reserve(items.size() * 128);
  for (const SyncItem* item : items) {
    if (text.back() != '[') text += ',';
    text += '[';
    AppendJsonString(text, item->id);
    text += ',';
    AppendJsonString(text, item->parent);
    text += item->folder ? ",1," : ",0,";
    AppendJsonString(text, item->name);
    text += ',';
    AppendJsonString(text, item->address);
    text += ']';
  }
  text += "]}";
  return Deflate(text);
}

std::optional<SyncTree> UnpackSyncTree(std::string_view packed) {
  const std::optional<std::string> text = Inflate(packed);
  if (!text) return std::nullopt;
  const nlohmann::json doc = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
  // The version is compared as what it is: a huge or fractional number
  // must not be squeezed into an int.
  if (!doc.is_object() || !doc.contains("v") || doc["v"] != 1 || !doc.contains("items") || !doc["items"].is_array()) {
    return std::nullopt;
  }
  const nlohmann::json& list = doc["items"];
  if (list.size() > kMaxSyncItems) return std::nullopt;
  SyncTree tree;
  tree.reserve(list.size());
  for (const nlohmann::json& entry : list) {
    if (!entry.is_array() || entry.size() != 5 || !entry[0].is_string() || !entry[1].is_string() ||
        !entry[2].is_number_integer() || !entry[3].is_string() || !entry[4].is_string()) {
      return std::nullopt;
    }
    SyncItem item;
    item.id = entry[0].get<std::string>();
    item.parent = entry[1].get<std::string>();
    const std::int64_t kind = entry[2].get<std::int64_t>();
    if (!IsSyncId(item.id) || (!item.parent.empty() && !IsSyncId(item.parent)) || (kind != 0 && kind != 1)) {
      return std::nullopt;
    }
    item.folder = kind == 1;
    item.name = SafeFavouriteName(entry[3].get<std::string>(), item.folder);
    if (!item.folder) {
      item.address = entry[4].get<std::string>();
      if (item.address.empty() || item.address.size() > kMaxAddressBytes) continue;
    }
    const std::string id = item.id;
    if (!tree.emplace(id, std::move(item)).second) return std::nullopt;
  }
  for (auto& [id, item] : tree) {
    if (item.parent.empty()) continue;
    const auto parent = tree.find(item.parent);
    if (parent == tree.end() || !parent->second.folder || item.parent == id) item.parent.clear();
  }
  return tree;
}

}  // namespace nuve::core
