#include "core/app/zoom_levels.h"

#include <array>
#include <cmath>

namespace nuve::core {
namespace {
constexpr std::array<double, 13> kLevels = {0.3, 0.5, 0.67, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
constexpr double kEpsilon = 0.001;
}  // namespace

double NextZoomLevel(double current, int direction) {
  if (direction > 0) {
    for (double level : kLevels) {
      if (level > current + kEpsilon) return level;
    }
    return kLevels.back();
  }
  if (direction < 0) {
    for (auto it = kLevels.rbegin(); it != kLevels.rend(); ++it) {
      if (*it < current - kEpsilon) return *it;
    }
    return kLevels.front();
  }
  return current;
}

bool IsDefaultZoom(double level) { return std::fabs(level - 1.0) < kEpsilon; }

std::string ZoomText(double level) { return std::to_string(static_cast<int>(std::lround(level * 100))) + "%"; }

}  // namespace nuve::core
