// Feeds arbitrary bytes to what reads the favourites service's answers: the
// envelope, the account's sync state, and the favourites once decrypted
// (packed JSON; the input is packed first when its first byte is even, so
// that the JSON reader gets inputs too). Besides not crashing: a tree that
// is read is consistent (parents are folders that exist, no loops), stays
// so when normalised, and merges with itself into itself.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "core/sync/sync_client.h"
#include "core/sync/sync_payload.h"
#include "core/sync/three_way_merge.h"

namespace {

void CheckTree(const nuve::core::SyncTree& tree) {
  for (const auto& [id, item] : tree) {
    if (id != item.id || (!item.folder && item.address.empty())) std::abort();
    std::set<std::string> seen{id};
    for (std::string at = item.parent; !at.empty(); at = tree.at(at).parent) {
      const auto parent = tree.find(at);
      if (parent == tree.end() || !parent->second.folder || !seen.insert(at).second) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string payload;
  nuve::core::ReadSyncEnvelope(input, payload);
  nuve::core::RemoteState state;
  nuve::core::ReadRemoteState(input, state);

  std::string packed = input;
  if (size > 0 && (data[0] & 1) == 0) {
    uLongf length = compressBound(static_cast<uLong>(size));
    packed.assign(length, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &length, data + 1, static_cast<uLong>(size - 1));
    packed.resize(length);
  }
  auto tree = nuve::core::UnpackSyncTree(packed);
  if (!tree) return 0;
  nuve::core::NormaliseSyncTree(*tree);
  CheckTree(*tree);
  if (nuve::core::MergeSyncTrees(*tree, *tree, *tree) != *tree) std::abort();
  return 0;
}
