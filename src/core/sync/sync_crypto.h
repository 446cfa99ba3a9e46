#pragma once
// The keys of the favourites sync, with libsodium.
//
//   account password --Argon2id(salt, ops, mem)--> key-encryption key
//   key-encryption key --XChaCha20-Poly1305--> wrapped data key   (kept by the service)
//   data key (random) --XChaCha20-Poly1305--> favourites          (kept by the service)
//
// Each ciphertext is bound to what it belongs to (additional data: the
// account, the key's generation and, for the favourites, their revision),
// so the service cannot hand one account's data to another, an old
// generation's for a new one, or an older revision for a newer one.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nuve::core {

// 32 secret bytes, wiped when they go.
class SecretKey {
 public:
  static constexpr std::size_t kBytes = 32;
  SecretKey();
  ~SecretKey();
  SecretKey(const SecretKey& other);
  SecretKey& operator=(const SecretKey& other);

  static SecretKey Random();
  // The key of base64 text (the secret store's form); nullopt when it is none.
  static std::optional<SecretKey> FromBase64(std::string_view text);
  std::string ToBase64() const;

  const unsigned char* data() const { return bytes_.data(); }
  unsigned char* data() { return bytes_.data(); }
  bool operator==(const SecretKey& other) const;

 private:
  std::array<unsigned char, kBytes> bytes_{};
};

// How the key-encryption key is derived; kept beside the wrapped key.
struct KdfParams {
  std::uint64_t ops = 0;
  std::uint64_t mem = 0;  // bytes
  std::string salt;       // 16 bytes
};

// libsodium's interactive limits (64 MiB, 2 passes), what a new key gets.
KdfParams NewKdfParams(std::uint64_t ops = 0, std::uint64_t mem = 0);
// Whether params from the service are ones to run: limits libsodium
// accepts, at most 1 GiB and 16 passes (a hostile service could otherwise
// ask for any amount of memory), a salt of the right size.
bool AcceptableKdfParams(const KdfParams& params);

// The key-encryption key of `password`; nullopt when the params are refused
// or the memory cannot be had.
std::optional<SecretKey> DeriveKeyEncryptionKey(std::string_view password, const KdfParams& params);

// nonce (24 bytes) + ciphertext + tag.
std::string Encrypt(const SecretKey& key, std::string_view plaintext, std::string_view associated);
// The plaintext; nullopt when the text is too short or fails authentication
// (another key, another associated text, a changed byte).
std::optional<std::string> Decrypt(const SecretKey& key, std::string_view ciphertext, std::string_view associated);

// The additional data of the wrapped data key and of the favourites.
std::string WrappedKeyContext(std::string_view account, std::int64_t generation);
std::string FavouritesContext(std::string_view account, std::int64_t generation, std::int64_t revision);

std::string ToBase64(std::string_view bytes);
std::optional<std::string> FromBase64(std::string_view text);

}  // namespace nuve::core
