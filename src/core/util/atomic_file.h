#pragma once
// Whole-file writes that never leave a half-written file behind: the bytes go
// to a temporary file beside the target, are flushed to disk, and the
// temporary file is renamed over the target in one step.

#include <sys/types.h>

#include <filesystem>
#include <string_view>

#include "core/util/status.h"

namespace nuve::core {

// Replaces `path` with `bytes`, giving the file the permission bits `mode`.
// The folder must exist. On failure the old file is untouched, no temporary
// file is left, and the error (kIo) names the file and the system's reason.
Status WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode = 0644);

}  // namespace nuve::core
