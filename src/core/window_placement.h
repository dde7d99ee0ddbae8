#pragma once

#include <cstdint>

#include "core/geometry.h"

// Where a window goes on the desktop: centred at its show, or onto another monitor.
namespace core {

// The virtual desktop as the system metrics report it.
struct DesktopArea {
  std::int32_t left;
  std::int32_t top;
  std::int32_t width;
  std::int32_t height;
};

// Top-left corner that centres a window of the given outer size on the
// desktop. Each half is truncated on its own, and the result never lies
// left of or above the desktop, so a window larger than the desktop
// overhangs right and bottom.
Point CenterOnDesktop(const DesktopArea& desktop, std::int32_t width, std::int32_t height);

// New top-left corner for a window moving from `own_monitor` to
// `target_monitor`: the same offset from the monitor's top-left corner,
// pulled back inside the target's right and bottom edges. Only meant for
// two different monitors; on its own monitor a window stays put.
Point MoveToMonitor(const Rect& window, const Rect& own_monitor, const Rect& target_monitor);

}  // namespace core
