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
// Without `flush` the bytes are not waited for on disk: many files written
// together (an import) are flushed once at the end with FlushFileSystem.
Status WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode = 0644,
                           bool flush = true);

// Waits until everything written to the file system that holds `path` is on
// disk (syncfs). Errors: kIo.
Status FlushFileSystem(const std::filesystem::path& path);

}  // namespace nuve::core
