#pragma once

#include <cstdint>

namespace core {

// Desktop coordinates in pixels: x grows to the right, y downwards.
struct Point {
  std::int32_t x;
  std::int32_t y;
};

// Right and bottom are exclusive, as in a Win32 RECT.
struct Rect {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
};

constexpr bool operator==(Point a, Point b) { return a.x == b.x && a.y == b.y; }
constexpr bool operator!=(Point a, Point b) { return !(a == b); }
constexpr bool operator==(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
constexpr bool operator!=(const Rect& a, const Rect& b) { return !(a == b); }

}  // namespace core
