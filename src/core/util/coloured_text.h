#pragma once
// A text the program shows in a colour of its own. Colours are 0xRRGGBB; the
// program's design wrote them as Windows colour values (red in the low byte),
// so its 0x0000FF is kRed here and its 0xFF0000 is kBlue.

#include <cstdint>
#include <string>

namespace nuve::core {

inline constexpr std::uint32_t kGreen = 0x00FF00;
inline constexpr std::uint32_t kRed = 0xFF0000;
inline constexpr std::uint32_t kBlue = 0x0000FF;

struct ColouredText {
  std::string text;
  std::uint32_t rgb = 0;
};

}  // namespace nuve::core
