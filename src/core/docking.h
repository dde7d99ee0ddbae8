#pragma once

#include <cstdint>

#include "core/geometry.h"

// Edge docking of the bar on the primary screen. SW and SH are the primary
// screen's full size, W and H the bar's current outer size; all are read
// afresh by the caller each time it needs them (SlidePosition reads SW and SH
// only for a right or bottom edge).
namespace core {

// The edges of the primary screen the bar is docked to are Anchor bits (geometry.h).

// Clamps a rectangle proposed during a drag into the screen and returns the
// edges it now touches. Each coordinate is clamped on its own, lower bound
// first, so on a screen smaller than the bar the upper bound wins.
std::uint8_t ClampMovingRect(Rect& r, std::int32_t screen_width, std::int32_t screen_height, std::int32_t width,
                             std::int32_t height);

// Where a docked bar belongs: flush inside each docked edge while the
// cursor is over it, else beyond the edge but for a 2-pixel strip. Edges go
// in the order left, top, right, bottom, so right wins over left and bottom
// over top; the coordinate along a docked edge is kept.
Point SlidePosition(std::uint8_t anchors, bool cursor_over, std::int32_t screen_width, std::int32_t screen_height,
                    std::int32_t width, std::int32_t height, Point current);

}  // namespace core
