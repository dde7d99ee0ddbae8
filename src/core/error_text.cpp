#include "core/error_text.h"

namespace core {

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
