#pragma once

#include <string>
#include <string_view>

// The text of error reports.
namespace core {

// The text of the default error report: the message with "." appended when
// its last code unit lies above '.' (U+002E).
std::u16string ErrorReportText(std::u16string_view message);

// The system's error text without trailing blanks, line breaks and periods,
// ready to stand after other text.
std::u16string TrimSystemErrorText(std::u16string_view text);

}  // namespace core
