#pragma once
// What the service keeps for one account's favourites sync: the key record
// (how the key-encryption key is derived, the wrapped data key) and the
// encrypted favourites. None of it can be read without the account
// password; the service only compares and swaps generations and revisions.

#include <cstdint>
#include <optional>
#include <string>

namespace nuve::server {

struct SyncRecord {
  std::int64_t generation = 0;  // one more for each new data key
  std::int64_t revision = 0;    // one more for each upload, and for each new data key
  bool key_reset = false;       // the password was reset since the key was made
  std::string kdf;              // "argon2id13"
  std::int64_t kdf_ops = 0;
  std::int64_t kdf_mem = 0;
  std::string salt;
  std::string wrapped_key;
  std::optional<std::string> blob;  // none uploaded under this key yet
};

// A new key record; the blob is dropped when the key is new.
struct SyncKeyWrite {
  std::int64_t generation = 0;  // the generation the client saw (0: none)
  bool fresh = false;           // a new data key rather than the same one wrapped anew
  std::string kdf;
  std::int64_t kdf_ops = 0;
  std::int64_t kdf_mem = 0;
  std::string salt;
  std::string wrapped_key;
};

}  // namespace nuve::server
