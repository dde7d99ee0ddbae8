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

// Edges of a rectangle, as bits of a byte: the screen edges a docked bar touches, or the
// edges of its window a control keeps its distance to.
enum Anchor : std::uint8_t {
  akLeft = 1,
  akTop = 2,
  akRight = 4,
  akBottom = 8,
};
using Anchors = std::uint8_t;

// Screen metrics are far from the int32 limits; arithmetic in 64 bits, brought back through
// this, only keeps absurd input from overflowing.
constexpr std::int32_t SaturateToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}

}  // namespace core
