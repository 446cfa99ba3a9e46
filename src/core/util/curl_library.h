#pragma once
// libcurl, loaded on first use. The browser's first page needs no HTTP of
// its own, and libcurl brings a dozen libraries (OpenSSL, GnuTLS, LDAP,
// SSH, …) whose loading and set-up cost every start some 8–10 ms before
// the window could even open. So nuve_core does not link libcurl: the
// curl_* functions it calls are defined in curl_library.cpp, and the first
// call of any of them loads libcurl.so.4 and forwards to it from then on.
//
// When libcurl cannot be loaded, each call fails the way libcurl itself
// reports failure (no handle, CURLE_FAILED_INIT), and the reason is logged
// once.

namespace nuve::core {

// True once libcurl has been loaded into the process.
bool CurlLibraryLoaded();

}  // namespace nuve::core
