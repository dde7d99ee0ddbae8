#include "core/placement.h"

#include <limits>

namespace core {
namespace {

// Screen metrics are far from the int32 limits; the wide arithmetic only
// keeps absurd input from overflowing.
std::int32_t Saturate(std::int64_t v) {
  constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(v < lo ? lo : v > hi ? hi : v);
}

}  // namespace

std::u16string ApplicationTitleFromPath(std::u16string_view exe_path) {
  const std::size_t slash = exe_path.rfind(u'\\');
  std::u16string_view name = slash == std::u16string_view::npos ? exe_path : exe_path.substr(slash + 1);
  return std::u16string(name.substr(0, name.find(u'.')));
}

std::u16string LowerCaseAfterFirst(std::u16string_view title, const LowerCaseFn& lower) {
  if (title.size() <= 1) return std::u16string(title);
  return title.front() + lower(title.substr(1));
}

std::u16string ProgramDirectory(std::u16string_view exe_path) {
  const std::size_t cut = exe_path.find_last_of(u"\\:");
  if (cut == std::u16string_view::npos) return std::u16string();
  return std::u16string(exe_path.substr(0, cut + 1));
}

Point CenterOnDesktop(const DesktopArea& desktop, std::int32_t width, std::int32_t height) {
  const std::int64_t left = std::int64_t{desktop.left} + desktop.width / 2 - width / 2;
  const std::int64_t top = std::int64_t{desktop.top} + desktop.height / 2 - height / 2;
  return {left < desktop.left ? desktop.left : Saturate(left), top < desktop.top ? desktop.top : Saturate(top)};
}

std::int32_t ScaleDesignValue(std::int32_t value, std::int32_t measured, std::int32_t design) {
  if (design == 0) return value;
  const std::int64_t product = std::int64_t{value} * measured;
  std::int64_t quotient = product / design;
  const std::int64_t remainder = product % design;
  const std::int64_t abs_rem = remainder < 0 ? -remainder : remainder;
  const std::int64_t abs_design = design < 0 ? -std::int64_t{design} : design;
  if (2 * abs_rem >= abs_design) quotient += (product < 0) != (design < 0) ? -1 : 1;
  return Saturate(quotient);
}

Point MoveToMonitor(const Rect& window, const Rect& own_monitor, const Rect& target_monitor) {
  const std::int64_t width = std::int64_t{window.right} - window.left;
  const std::int64_t height = std::int64_t{window.bottom} - window.top;
  std::int64_t left = std::int64_t{target_monitor.left} + window.left - own_monitor.left;
  std::int64_t top = std::int64_t{target_monitor.top} + window.top - own_monitor.top;
  if (left + width > target_monitor.right) left = target_monitor.right - width;
  if (top + height > target_monitor.bottom) top = target_monitor.bottom - height;
  return {Saturate(left), Saturate(top)};
}

std::u16string ErrorReportText(std::u16string_view message) {
  std::u16string text(message);
  if (!text.empty() && text.back() > u'.') text += u'.';
  return text;
}

std::u16string TrimSystemErrorText(std::u16string_view text) {
  const std::size_t keep = text.find_last_not_of(u" \r\n.");
  return std::u16string(keep == std::u16string_view::npos ? std::u16string_view() : text.substr(0, keep + 1));
}

}  // namespace core
