#include "core/docking.h"

namespace core {
namespace {

// How much of a hidden bar stays on the screen.
constexpr std::int32_t kVisibleStrip = 2;

std::int32_t Clamp(std::int32_t v, std::int32_t lo, std::int32_t hi) {
  if (v < lo) v = lo;
  if (v > hi) v = hi;
  return v;
}

}  // namespace

std::uint8_t ClampMovingRect(Rect& r, std::int32_t screen_width, std::int32_t screen_height, std::int32_t width,
                             std::int32_t height) {
  r.left = Clamp(r.left, 0, screen_width - width);
  r.top = Clamp(r.top, 0, screen_height - height);
  r.right = Clamp(r.right, width, screen_width);
  r.bottom = Clamp(r.bottom, height, screen_height);

  std::uint8_t anchors = 0;
  if (r.left == 0) anchors |= akLeft;
  if (r.right == screen_width) anchors |= akRight;
  if (r.top == 0) anchors |= akTop;
  if (r.bottom == screen_height) anchors |= akBottom;
  return anchors;
}

Point SlidePosition(std::uint8_t anchors, bool cursor_over, std::int32_t screen_width, std::int32_t screen_height,
                    std::int32_t width, std::int32_t height, Point current) {
  Point p = current;
  if (anchors & akLeft) p.x = cursor_over ? 0 : kVisibleStrip - width;
  if (anchors & akTop) p.y = cursor_over ? 0 : kVisibleStrip - height;
  if (anchors & akRight) p.x = cursor_over ? screen_width - width : screen_width - kVisibleStrip;
  if (anchors & akBottom) p.y = cursor_over ? screen_height - height : screen_height - kVisibleStrip;
  return p;
}

}  // namespace core
