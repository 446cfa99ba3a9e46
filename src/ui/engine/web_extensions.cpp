#include "ui/engine/web_extensions.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/app/log.h"
#include "ui/app/guard.h"

namespace nuve::ui {
namespace {

constexpr char kPreparedKey[] = "nuve-web-extensions";
constexpr char kModuleName[] = "libnuve-web-extension.so";

bool HoldsModule(const std::filesystem::path& folder) {
  std::error_code ec;
  return !folder.empty() && std::filesystem::is_regular_file(folder / kModuleName, ec);
}

std::filesystem::path ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : program.parent_path();
}

// Paths the sandbox binds anyway; adding them again is refused.
bool InSystemFolder(const std::filesystem::path& folder) {
  const std::string text = folder.string();
  return text.starts_with("/usr/") || text.starts_with("/lib/") || text.starts_with("/lib64/");
}

}  // namespace

// The folder the install puts the module in, from the build's libdir. One
// whole string in the program, so a package check can read where it looks.
extern const char kInstalledWebExtensionsFolder[];
const char kInstalledWebExtensionsFolder[] = NUVE_WEB_EXTENSIONS_DIR;

std::string WebExtensions::Folder() {
  if (const char* given = std::getenv("NUVE_WEB_EXTENSIONS_DIR"); given != nullptr && *given != '\0') {
    const std::filesystem::path folder = std::filesystem::absolute(given);
    if (HoldsModule(folder)) return folder.string();
    core::LogWarning("web extension", "no " + std::string(kModuleName) + " in NUVE_WEB_EXTENSIONS_DIR " + given);
  }
  if (const std::filesystem::path beside = ProgramFolder() / "web-extensions"; HoldsModule(beside)) {
    return beside.string();
  }
  if (const std::filesystem::path installed = kInstalledWebExtensionsFolder; HoldsModule(installed)) {
    return installed.string();
  }
  return {};
}

void WebExtensions::Prepare(WebKitWebContext* context) {
  // Once per context: the sandbox takes no new folder after its first
  // process, and every profile of the program shares this context.
  if (g_object_get_data(G_OBJECT(context), kPreparedKey) != nullptr) return;
  const std::string folder = Folder();
  g_object_set_data_full(G_OBJECT(context), kPreparedKey, g_strdup(folder.c_str()), g_free);
  if (folder.empty()) {
    core::LogWarning("web extension", "not found; saved site passwords are not available");
    return;
  }
  // Inside the sandbox only system folders are there by default; a folder
  // elsewhere (the build tree) would be silently empty.
  if (!InSystemFolder(folder)) webkit_web_context_add_path_to_sandbox(context, folder.c_str(), TRUE);
  g_signal_connect(context, "initialize-web-process-extensions",
                   G_CALLBACK(+[](WebKitWebContext* c, gpointer) noexcept {
                     Guard("initialize-web-process-extensions", [&] {
                       const auto* dir = static_cast<const char*>(g_object_get_data(G_OBJECT(c), kPreparedKey));
                       if (dir != nullptr && *dir != '\0') webkit_web_context_set_web_process_extensions_directory(c, dir);
                     });
                   }),
                   nullptr);
}

}  // namespace nuve::ui
