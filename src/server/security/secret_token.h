#pragma once
// Secrets the service hands out: login tokens and reset links (256 random
// bits each, kept in the database only as their SHA-256 digest) and the
// four-digit registration codes.

#include <string>
#include <string_view>

namespace nuve::server {

// 64 lower-case hex digits from the system's random source.
std::string NewSecretToken();
// The hex SHA-256 of a token: what the database stores and looks up.
std::string TokenDigest(std::string_view token);
// Four decimal digits, uniformly drawn ("0042" included).
std::string NewRegisterCode();
// Compares two secrets in time that does not depend on where they differ.
// An empty secret matches nothing.
bool SameSecret(std::string_view a, std::string_view b);

}  // namespace nuve::server
