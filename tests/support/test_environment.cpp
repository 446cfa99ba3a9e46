#include "support/test_environment.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace nuve::test {
namespace {

// Each name with the value that means the same as its absence.
struct Reserved {
  const char* name;
  const char* unset_value;
};

constexpr Reserved kReserved[] = {
    {"NUVE_HOME", ""},
    {"NUVE_PACKAGED_FILTER_LISTS", ""},
    {"NUVE_VERSION_SOURCE", ""},
    {"NUVE_VERSION_KEY", ""},
    {"NUVE_SERVICE_HOST", ""},
    {"NUVE_PORTAL_A", ""},
    {"NUVE_PORTAL_B", ""},
    {"NUVE_DOWNLOAD_DIR", ""},
    {"NUVE_DOWNLOAD_PAGE", ""},
    {"NUVE_KEEPALIVE_MS", ""},
    {"NUVE_KEEPALIVE_RETRY_MS", ""},
    {"NUVE_PAGE_TIMEOUT_MS", ""},
    {"NUVE_RECOVERY_CONTACT", ""},
    {"NUVE_SEARCH_ENGINE", ""},
    {"NUVE_SEARCH_QUERY", ""},
    {"TMPDIR", "/tmp"},
    {"XDG_DATA_DIRS", "/usr/local/share:/usr/share"},
    // GLib reads an empty value as unset.
    {"XDG_DATA_HOME", ""},
};

bool reserved = false;

const Reserved* Find(const char* name) {
  for (const Reserved& r : kReserved) {
    if (std::strcmp(r.name, name) == 0) return &r;
  }
  return nullptr;
}

void CheckReserved(const char* name) {
  if (reserved && std::getenv(name) == nullptr) {
    std::fprintf(stderr,
                 "test environment: %s was not named before the threads started; "
                 "add it to tests/support/test_environment.cpp\n",
                 name);
    std::abort();
  }
}

}  // namespace

void ReserveTestEnvironment() {
  for (const Reserved& r : kReserved) setenv(r.name, r.unset_value, 0);
  reserved = true;
}

void SetTestEnvironment(const char* name, const std::string& value) {
  CheckReserved(name);
  setenv(name, value.c_str(), 1);
}

void ClearTestEnvironment(const char* name) {
  if (!reserved) {
    unsetenv(name);
    return;
  }
  const Reserved* r = Find(name);
  if (r == nullptr) {
    // A name the program had before the reservation: unsetting moves
    // entries but frees nothing a reader may hold.
    unsetenv(name);
    return;
  }
  setenv(name, r->unset_value, 1);
}

std::optional<std::string> TestEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void RestoreTestEnvironment(const char* name, const std::optional<std::string>& previous) {
  if (previous) {
    SetTestEnvironment(name, *previous);
  } else {
    ClearTestEnvironment(name);
  }
}

}  // namespace nuve::test
