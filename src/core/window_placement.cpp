#include "core/window_placement.h"

namespace core {

Point CenterOnDesktop(const DesktopArea& desktop, std::int32_t width, std::int32_t height) {
  const std::int64_t left = std::int64_t{desktop.left} + desktop.width / 2 - width / 2;
  const std::int64_t top = std::int64_t{desktop.top} + desktop.height / 2 - height / 2;
  return {left < desktop.left ? desktop.left : SaturateToInt32(left),
          top < desktop.top ? desktop.top : SaturateToInt32(top)};
}

Point MoveToMonitor(const Rect& window, const Rect& own_monitor, const Rect& target_monitor) {
  const std::int64_t width = std::int64_t{window.right} - window.left;
  const std::int64_t height = std::int64_t{window.bottom} - window.top;
  std::int64_t left = std::int64_t{target_monitor.left} + window.left - own_monitor.left;
  std::int64_t top = std::int64_t{target_monitor.top} + window.top - own_monitor.top;
  if (left + width > target_monitor.right) left = target_monitor.right - width;
  if (top + height > target_monitor.bottom) top = target_monitor.bottom - height;
  return {SaturateToInt32(left), SaturateToInt32(top)};
}

}  // namespace core
