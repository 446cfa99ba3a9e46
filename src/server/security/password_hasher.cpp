#include "server/security/password_hasher.h"

#include <sodium.h>

#include <algorithm>
#include <stdexcept>

namespace nuve::server {
namespace {

// Takes one of the hashing slots for the life of the object.
class Slot {
 public:
  explicit Slot(std::counting_semaphore<64>& slots) : slots_(slots) { slots_.acquire(); }
  ~Slot() { slots_.release(); }
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;

 private:
  std::counting_semaphore<64>& slots_;
};

}  // namespace

std::optional<HashStrength> HashStrengthFromName(std::string_view name) {
  if (name == "light") return HashStrength::kLight;
  if (name == "interactive") return HashStrength::kInteractive;
  if (name == "moderate") return HashStrength::kModerate;
  return std::nullopt;
}

PasswordHasher::PasswordHasher(HashStrength strength, unsigned parallel)
    : slots_(static_cast<std::ptrdiff_t>(std::clamp(parallel, 1u, 64u))) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
  switch (strength) {
    case HashStrength::kLight:
      opslimit_ = crypto_pwhash_OPSLIMIT_MIN;
      memlimit_ = crypto_pwhash_MEMLIMIT_MIN;
      break;
    case HashStrength::kInteractive:
      opslimit_ = crypto_pwhash_OPSLIMIT_INTERACTIVE;
      memlimit_ = crypto_pwhash_MEMLIMIT_INTERACTIVE;
      break;
    case HashStrength::kModerate:
      opslimit_ = crypto_pwhash_OPSLIMIT_MODERATE;
      memlimit_ = crypto_pwhash_MEMLIMIT_MODERATE;
      break;
  }
  decoy_hash_ = Hash("decoy").value_or("");
}

std::optional<std::string> PasswordHasher::Hash(std::string_view password) {
  char out[crypto_pwhash_STRBYTES];
  Slot slot(slots_);
  if (crypto_pwhash_str_alg(out, password.data(), password.size(), opslimit_, memlimit_,
                            crypto_pwhash_ALG_ARGON2ID13) != 0) {
    return std::nullopt;
  }
  return std::string(out);
}

bool PasswordHasher::Verify(std::string_view hash, std::string_view password) {
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
  const std::string text(hash);  // the library reads a NUL-terminated text
  Slot slot(slots_);
  return crypto_pwhash_str_verify(text.c_str(), password.data(), password.size()) == 0;
}

void PasswordHasher::VerifyNothing(std::string_view password) { (void)Verify(decoy_hash_, password); }

bool PasswordHasher::NeedsRehash(std::string_view hash) const {
  const std::string text(hash);
  return crypto_pwhash_str_needs_rehash(text.c_str(), opslimit_, memlimit_) != 0;
}

}  // namespace nuve::server
