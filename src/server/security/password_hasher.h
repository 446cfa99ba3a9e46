#pragma once
// Password hashes: Argon2id through libsodium's crypto_pwhash_str, whose text
// carries its own salt and cost, so hashes of different strengths verify
// alike. At most a few hashes run at once: each takes tens of MiB, and a
// burst of logins must not exhaust the machine's memory.

#include <optional>
#include <semaphore>
#include <string>
#include <string_view>

namespace nuve::server {

enum class HashStrength {
  kLight,        // the library's minimum: for tests only
  kInteractive,  // the default
  kModerate,
};

// "light", "interactive" or "moderate".
std::optional<HashStrength> HashStrengthFromName(std::string_view name);

class PasswordHasher {
 public:
  // `parallel` hashes at most run at the same time (at least 1).
  explicit PasswordHasher(HashStrength strength = HashStrength::kInteractive, unsigned parallel = 2);

  // The hash text; nullopt when the memory for it cannot be had.
  std::optional<std::string> Hash(std::string_view password);
  // Whether `password` matches the hash text (false for a malformed text).
  bool Verify(std::string_view hash, std::string_view password);
  // Spends the time of one verification, for an account that does not
  // exist, so that the reply's timing does not tell.
  void VerifyNothing(std::string_view password);
  // Whether the hash was made at another strength than this hasher's.
  bool NeedsRehash(std::string_view hash) const;

 private:
  unsigned long long opslimit_;
  std::size_t memlimit_;
  std::counting_semaphore<64> slots_;
  std::string decoy_hash_;
};

}  // namespace nuve::server
