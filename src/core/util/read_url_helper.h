#pragma once
// The plain HTTP GET, run in a short-lived helper process (`nuve-fetch`).
// libcurl and its TLS, LDAP and SSH libraries are some 5 MiB of a process's
// memory once loaded, and they stay loaded for as long as it runs. The
// version check needs them at every start, once; in the helper they are
// gone again a moment after the answer, and the browser's own process only
// ever loads them when the user uses the online account.
//
// The helper writes the body to its standard output and its diagnostics
// to the standard error it shares with the browser.

#include <filesystem>
#include <optional>
#include <string>

#include "core/util/read_url.h"

namespace nuve::core {

// Where the helper is: beside the running program (the build tree), else in
// the folder the installation puts it in. Empty when neither holds it.
std::filesystem::path FetchHelperPath();

// ReadUrl in `helper`: the same answer, "" on any failure. The helper is
// ended when `options.stop` is requested, when the body grows past
// `options.max_bytes`, or when it is still running a few seconds after the
// time-out. nullopt when the helper cannot be started at all.
std::optional<std::string> ReadUrlInHelper(const std::filesystem::path& helper, const std::string& url,
                                           const ReadUrlOptions& options);

// ReadUrl in the helper when there is one, in this process otherwise.
std::string ReadUrlApart(const std::string& url, const ReadUrlOptions& options = {});

// The helper's own work: its command line is read and the body written to
// `out_fd`. The exit code: 0 fetched (the body may be empty), 1 not
// fetched, 2 a command line it does not understand.
int RunFetchHelper(int argc, char** argv, int out_fd);

}  // namespace nuve::core
