#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/geometry.h"

// Rules for names, paths, window placement and the text of error reports.
namespace core {

// The executable's file name without folder and without anything from its
// first '.' on: "C:\\Apps\\GoldBar.v5.exe" gives "GoldBar".
std::u16string ApplicationTitleFromPath(std::u16string_view exe_path);

// Lower-cases everything after the first code unit through `lower`, which
// stands for the platform's own lower-case mapping.
using LowerCaseFn = std::function<std::u16string(std::u16string_view)>;
std::u16string LowerCaseAfterFirst(std::u16string_view title, const LowerCaseFn& lower);

// The path up to and including its last '\\' or ':'; empty when it has
// neither. File names are appended to it directly.
std::u16string ProgramDirectory(std::u16string_view exe_path);

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

// value * measured / design rounded to the nearest integer, halves away
// from zero (as MulDiv does), for sizes laid out where the design text
// height was 13 pixels. Negative values such as font heights scale the
// same way. A zero `design` leaves the value as it is.
std::int32_t ScaleDesignValue(std::int32_t value, std::int32_t measured, std::int32_t design = 13);

// New top-left corner for a window moving from `own_monitor` to
// `target_monitor`: the same offset from the monitor's top-left corner,
// pulled back inside the target's right and bottom edges. Only meant for
// two different monitors; on its own monitor a window stays put.
Point MoveToMonitor(const Rect& window, const Rect& own_monitor, const Rect& target_monitor);

// The text of the default error report: the message with "." appended when
// its last code unit lies above '.' (U+002E).
std::u16string ErrorReportText(std::u16string_view message);

// The system's error text without trailing blanks, line breaks and periods,
// ready to stand after other text.
std::u16string TrimSystemErrorText(std::u16string_view text);

}  // namespace core
