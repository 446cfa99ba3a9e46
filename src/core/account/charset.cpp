#include "core/account/charset.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>

#include "core/app/log.h"

namespace nuve::core {
namespace {

// Runs iconv over `input`, replacing every sequence it refuses with
// `replacement`. `skip` tells how many input bytes a refused sequence covers.
template <typename SkipFn>
std::string Convert(std::string_view input, const char* to, const char* from,
                    std::string_view replacement, SkipFn skip) {
  GIConv cd = g_iconv_open(to, from);
  if (cd == reinterpret_cast<GIConv>(-1)) {
    LogError("charset", std::string("no converter from ") + from + " to " + to);
    return {};
  }
  std::string out;
  out.reserve(input.size() * 3 / 2 + 16);
  char buffer[4096];
  gchar* in = const_cast<gchar*>(input.data());
  gsize in_left = input.size();
  while (in_left > 0) {
    gchar* out_ptr = buffer;
    gsize out_left = sizeof buffer;
    const gsize rc = g_iconv(cd, &in, &in_left, &out_ptr, &out_left);
    out.append(buffer, out_ptr - buffer);
    if (rc != static_cast<gsize>(-1)) continue;
    if (errno == E2BIG) continue;  // the buffer was full; drain it and go on
    // EILSEQ: a sequence the converter refuses. EINVAL: the input ends in
    // the middle of a sequence. Either way the bytes are replaced.
    const std::size_t n = std::min<std::size_t>(in_left, skip(in, in_left));
    out.append(replacement);
    in += n;
    in_left -= n;
    g_iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  }
  g_iconv_close(cd);
  return out;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  // One refused byte at a time: the next byte may well start a good character.
  return Convert(gbk, "UTF-8", "GBK", "\xEF\xBF\xBD", [](const char*, std::size_t) { return 1; });
}

std::string Utf8ToGbk(std::string_view utf8) {
  // A valid character that GBK lacks is skipped whole; a stray byte alone.
  return Convert(utf8, "GBK", "UTF-8", "?", [](const char* p, std::size_t left) -> std::size_t {
    const gunichar c = g_utf8_get_char_validated(p, static_cast<gssize>(left));
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return 1;
    return static_cast<std::size_t>(g_utf8_next_char(p) - p);
  });
}

std::string DecodeReplyText(std::string_view bytes) {
  if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) {
    return std::string(bytes);
  }
  return GbkToUtf8(bytes);
}

}  // namespace nuve::core
