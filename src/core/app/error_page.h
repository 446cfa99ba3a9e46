#pragma once
// The pages a tab shows in place of a page that could not be loaded: what
// went wrong, in Chinese, with the address that was asked for.

#include <string>
#include <string_view>

namespace nuve::core {

enum class LoadProblem {
  kHostNotFound,       // the name does not resolve
  kRefused,            // nothing listens there
  kTimedOut,           // no answer in time
  kBlockedPort,        // a port the engine refuses for safety (e.g. 1, 25)
  kUnsupportedScheme,  // an address the engine cannot load at all
  kCrashed,            // the page's process ended
  kOutOfMemory,        // the page's process was ended for its memory
  kOther,
};

// The title every error page carries.
inline constexpr char kErrorPageTitle[] = "无法显示此网页";
// The title of the page shown for a certificate that fails the checks.
inline constexpr char kTlsErrorPageTitle[] = "此连接不安全";

// One sentence on what went wrong with `host` (may be ""); `detail` (the
// engine's own words) is added for kOther.
std::string LoadProblemText(LoadProblem problem, std::string_view host, std::string_view detail = {});

// What is wrong with a certificate, from GLib's GTlsCertificateFlags bits:
// one sentence per problem, in the order of the bits.
std::string TlsProblemText(unsigned flags);

// A complete HTML page: `title` as its title and heading, `message`, the
// `address` asked for, and a hint what to do. Every text is escaped.
std::string ErrorPageHtml(std::string_view title, std::string_view message, std::string_view address,
                          std::string_view hint);

// The host of an address ("" when it has none).
std::string HostOf(std::string_view address);

}  // namespace nuve::core
