#pragma once
// Readable points and rectangles in test failures (found by argument-dependent lookup).
#include <ostream>

#include "core/geometry.h"

namespace core {

inline std::ostream& operator<<(std::ostream& os, Point p) { return os << '(' << p.x << ", " << p.y << ')'; }

inline std::ostream& operator<<(std::ostream& os, const Rect& r) {
  return os << '(' << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ')';
}

}  // namespace core
