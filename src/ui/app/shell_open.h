#pragma once
// Hands a file or folder to the desktop: the user's chosen program opens it.

#include <filesystem>

namespace nuve::ui {

// Opens `path` with its default program (a folder in the file browser).
// Returns false, and logs why, when the desktop cannot.
bool ShellOpen(const std::filesystem::path& path);

}  // namespace nuve::ui
