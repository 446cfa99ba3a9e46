#pragma once
// Page zoom steps: Ctrl+plus and Ctrl+minus walk a fixed ladder of levels,
// Ctrl+0 goes back to 100%.

#include <string>

namespace nuve::core {

inline constexpr double kMinZoom = 0.3;
inline constexpr double kMaxZoom = 3.0;

// The next level up (`direction` > 0) or down from `current`; a level
// between steps goes to the neighbouring step; the ends stay where they are.
double NextZoomLevel(double current, int direction);

// Whether `level` is 100% (within rounding).
bool IsDefaultZoom(double level);

// "125%".
std::string ZoomText(double level);

}  // namespace nuve::core
