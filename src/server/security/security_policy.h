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

// One client address: after this many wrong passwords within the window
// (whatever the accounts, existing or not), no password it sends is
// checked until the oldest of them leaves the window. Configurable with
// --login-failures-per-client for sites where many users share an address.
inline constexpr std::int64_t kDefaultLoginFailuresPerClient = 30;

// Password-reset links and e-mail change links.
inline constexpr std::int64_t kResetLinkLifetimeMs = 30 * kMinuteMs;
inline constexpr std::int64_t kEmailLinkLifetimeMs = 30 * kMinuteMs;

// A session is marked used at most once a minute (less when sessions are
// shorter), so keep-alives are reads almost always and go on when the disk
// is full.
inline constexpr std::int64_t kSessionRenewEveryMs = kMinuteMs;

// Per-account quotas: the database must not grow without end for one
// account. An avatar changes seldom; feedback is a few lines; user data
// are settings, not files.
inline constexpr std::int64_t kImagesPerDay = 10;
inline constexpr std::int64_t kImagesInAll = 50;
inline constexpr std::int64_t kFeedbackPerDay = 20;
inline constexpr std::int64_t kUserDataBytes = 1024 * 1024;

// Below this much free space on the database's disk, writes that make the
// database grow are refused; logins and keep-alives go on in the reserve.
// Configurable with --free-space-reserve.
inline constexpr std::int64_t kDefaultFreeSpaceReserveBytes = 64LL * 1024 * 1024;

// A session unused this long is gone (configurable with --session-ttl).
inline constexpr std::int64_t kDefaultSessionTtlMs = 10 * kMinuteMs;

}  // namespace nuve::server
