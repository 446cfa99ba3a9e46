#include "server/security/secret_token.h"

#include <sodium.h>

#include <cstdio>

namespace nuve::server {
namespace {

std::string Hex(const unsigned char* bytes, std::size_t size) {
  std::string hex(size * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), bytes, size);
  hex.pop_back();
  return hex;
}

}  // namespace

std::string NewSecretToken() {
  unsigned char bytes[32];
  randombytes_buf(bytes, sizeof bytes);
  return Hex(bytes, sizeof bytes);
}

std::string TokenDigest(std::string_view token) {
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(token.data()), token.size());
  return Hex(digest, sizeof digest);
}

std::string NewRegisterCode() {
  char code[8];
  std::snprintf(code, sizeof code, "%04u", static_cast<unsigned>(randombytes_uniform(10000)));
  return code;
}

bool SameSecret(std::string_view a, std::string_view b) {
  if (a.empty() || a.size() != b.size()) return false;
  return sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace nuve::server
