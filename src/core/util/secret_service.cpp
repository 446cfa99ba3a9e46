#include "core/util/secret_service.h"

#include <cstdlib>
#include <filesystem>

namespace nuve::core {

bool SessionBusConfigured() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0') return false;
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(runtime) / "bus", ec);
}

}  // namespace nuve::core
