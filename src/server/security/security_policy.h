#pragma once
// The service's security rules in one place.

#include <cstdint>

namespace nuve::server {

inline constexpr std::int64_t kSecondMs = 1000;
inline constexpr std::int64_t kMinuteMs = 60 * kSecondMs;
inline constexpr std::int64_t kDayMs = 24 * 60 * kMinuteMs;

// Registration codes: four digits, single use.
inline constexpr std::int64_t kRegisterCodeLifetimeMs = 10 * kMinuteMs;
inline constexpr int kRegisterCodeTries = 5;

// Mail: one per address per minute (the register window counts down as
// long), and a cap per address and per client address per day.
inline constexpr std::int64_t kMailIntervalMs = 60 * kSecondMs;
inline constexpr std::int64_t kMailsPerAddressPerDay = 10;
inline constexpr std::int64_t kMailsPerClientPerDay = 50;

// Login: after this many wrong passwords for one account within the window,
// the account's password is not checked until the oldest of them leaves it.
inline constexpr std::int64_t kLoginFailuresAllowed = 5;
inline constexpr std::int64_t kLoginFailureWindowMs = 15 * kMinuteMs;

// Password-reset links.
inline constexpr std::int64_t kResetLinkLifetimeMs = 30 * kMinuteMs;

// A session unused this long is gone (configurable with --session-ttl).
inline constexpr std::int64_t kDefaultSessionTtlMs = 10 * kMinuteMs;

}  // namespace nuve::server
