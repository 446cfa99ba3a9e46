#include "core/sync/sync_crypto.h"

#include <sodium.h>

namespace nuve::core {
namespace {

bool Ready() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

constexpr std::uint64_t kMaxKdfMemory = 1024ull * 1024 * 1024;
constexpr std::uint64_t kMaxKdfOps = 16;

}  // namespace

SecretKey::SecretKey() = default;
SecretKey::~SecretKey() { sodium_memzero(bytes_.data(), bytes_.size()); }
SecretKey::SecretKey(const SecretKey& other) = default;
SecretKey& SecretKey::operator=(const SecretKey& other) = default;

SecretKey SecretKey::Random() {
  Ready();
  SecretKey key;
  randombytes_buf(key.bytes_.data(), key.bytes_.size());
  return key;
}

std::optional<SecretKey> SecretKey::FromBase64(std::string_view text) {
  const std::optional<std::string> bytes = core::FromBase64(text);
  if (!bytes || bytes->size() != kBytes) return std::nullopt;
  SecretKey key;
  std::copy(bytes->begin(), bytes->end(), key.bytes_.begin());
  std::string wiped = *bytes;
  sodium_memzero(wiped.data(), wiped.size());
  return key;
}

std::string SecretKey::ToBase64() const {
  return core::ToBase64(std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()));
}

bool SecretKey::operator==(const SecretKey& other) const {
  return sodium_memcmp(bytes_.data(), other.bytes_.data(), kBytes) == 0;
}

KdfParams NewKdfParams(std::uint64_t ops, std::uint64_t mem) {
  Ready();
  KdfParams params;
  params.ops = ops != 0 ? ops : crypto_pwhash_OPSLIMIT_INTERACTIVE;
  params.mem = mem != 0 ? mem : crypto_pwhash_MEMLIMIT_INTERACTIVE;
  params.salt.resize(crypto_pwhash_SALTBYTES);
  randombytes_buf(params.salt.data(), params.salt.size());
  return params;
}

bool AcceptableKdfParams(const KdfParams& params) {
  return params.salt.size() == crypto_pwhash_SALTBYTES && params.ops >= crypto_pwhash_OPSLIMIT_MIN &&
         params.ops <= kMaxKdfOps && params.mem >= crypto_pwhash_MEMLIMIT_MIN && params.mem <= kMaxKdfMemory;
}

std::optional<SecretKey> DeriveKeyEncryptionKey(std::string_view password, const KdfParams& params) {
  if (!Ready() || !AcceptableKdfParams(params)) return std::nullopt;
  SecretKey key;
  if (crypto_pwhash(key.data(), SecretKey::kBytes, password.data(), password.size(),
                    reinterpret_cast<const unsigned char*>(params.salt.data()), params.ops,
                    static_cast<std::size_t>(params.mem), crypto_pwhash_ALG_ARGON2ID13) != 0) {
    return std::nullopt;
  }
  return key;
}

std::string Encrypt(const SecretKey& key, std::string_view plaintext, std::string_view associated) {
  Ready();
  constexpr std::size_t kNonce = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
  std::string out(kNonce + plaintext.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
  auto* bytes = reinterpret_cast<unsigned char*>(out.data());
  randombytes_buf(bytes, kNonce);
  unsigned long long written = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(
      bytes + kNonce, &written, reinterpret_cast<const unsigned char*>(plaintext.data()), plaintext.size(),
      reinterpret_cast<const unsigned char*>(associated.data()), associated.size(), nullptr, bytes, key.data());
  out.resize(kNonce + static_cast<std::size_t>(written));
  return out;
}

std::optional<std::string> Decrypt(const SecretKey& key, std::string_view ciphertext, std::string_view associated) {
  Ready();
  constexpr std::size_t kNonce = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
  constexpr std::size_t kTag = crypto_aead_xchacha20poly1305_ietf_ABYTES;
  if (ciphertext.size() < kNonce + kTag) return std::nullopt;
  const auto* bytes = reinterpret_cast<const unsigned char*>(ciphertext.data());
  std::string out(ciphertext.size() - kNonce - kTag, '\0');
  unsigned long long written = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char*>(out.data()), &written, nullptr,
                                                 bytes + kNonce, ciphertext.size() - kNonce,
                                                 reinterpret_cast<const unsigned char*>(associated.data()),
                                                 associated.size(), bytes, key.data()) != 0) {
    return std::nullopt;
  }
  out.resize(static_cast<std::size_t>(written));
  return out;
}

std::string WrappedKeyContext(std::string_view account, std::int64_t generation) {
  std::string context("nuve-favourites-key\x01", 20);
  context += account;
  context += '\0';
  context += std::to_string(generation);
  return context;
}

std::string FavouritesContext(std::string_view account, std::int64_t generation, std::int64_t revision) {
  std::string context("nuve-favourites\x01", 16);
  context += account;
  context += '\0';
  context += std::to_string(generation);
  context += '\0';
  context += std::to_string(revision);
  return context;
}

std::string ToBase64(std::string_view bytes) {
  Ready();
  std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  out.resize(out.size() - 1);  // the terminating NUL
  return out;
}

std::optional<std::string> FromBase64(std::string_view text) {
  Ready();
  std::string out(text.size() / 4 * 3 + 3, '\0');
  std::size_t written = 0;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(), text.size(), nullptr,
                        &written, nullptr, sodium_base64_VARIANT_ORIGINAL) != 0) {
    return std::nullopt;
  }
  out.resize(written);
  return out;
}

}  // namespace nuve::core
