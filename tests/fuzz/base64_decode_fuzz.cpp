// Feeds arbitrary bytes to the strict Base64 decoder and checks that what it
// accepts is consistent: the size follows from the length and the padding,
// and encoding then decoding any bytes gives them back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/util/codec_util.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const nuve::core::CodecUtil codec;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string decoded = codec.Base64Decode(text);
  if (!decoded.empty()) {
    std::size_t padding = 0;
    while (padding < 2 && padding < size && text[size - 1 - padding] == '=') ++padding;
    if (size % 4 != 0 || decoded.size() != size / 4 * 3 - padding) std::abort();
  }

  // The same bytes, taken as binary, survive a trip through the line encoder.
  const std::string lines = codec.BinaryToString(nuve::core::CodecUtil::kBase64Lines, text);
  std::string joined;
  for (char c : lines) {
    if (c != '\r' && c != '\n') joined += c;
  }
  if (codec.Base64Decode(joined) != text) std::abort();
  return 0;
}
