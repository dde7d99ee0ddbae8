#include "core/setting_value.h"

#include "core/ascii.h"

namespace core {
namespace {

// Strips a hex prefix from `text`; false when there is none.
bool ConsumeHexPrefix(std::u16string_view& text) {
  if (!text.empty() && (text[0] == u'$' || text[0] == u'x' || text[0] == u'X')) {
    text.remove_prefix(1);
    return true;
  }
  if (text.size() >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    text.remove_prefix(2);
    return true;
  }
  return false;
}

// Unsigned magnitude of the digits, failing past `limit`.
std::optional<std::uint64_t> ReadMagnitude(std::u16string_view digits, int base, std::uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char16_t c : digits) {
    const int digit = ascii::HexDigitValue(c);
    if (digit < 0 || digit >= base) return std::nullopt;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (value > limit) return std::nullopt;
  }
  return value;
}

// Two's-complement reinterpretation without relying on implementation-defined narrowing.
std::int32_t FromBitPattern(std::uint32_t bits) {
  if (bits <= 0x7FFFFFFFu) return static_cast<std::int32_t>(bits);
  return -static_cast<std::int32_t>(~bits) - 1;
}

}  // namespace

std::optional<std::int32_t> ParseIniInteger(std::u16string_view text) {
  // Only U+0020 is skipped; a leading tab or other control character
  // makes the text no integer.
  while (!text.empty() && text.front() == u' ') text.remove_prefix(1);

  bool negative = false;
  if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }

  if (ConsumeHexPrefix(text)) {
    const auto bits = ReadMagnitude(text, 16, 0xFFFFFFFFu);
    if (!bits) return std::nullopt;
    const std::uint32_t pattern = static_cast<std::uint32_t>(*bits);
    // Negation wraps in 32 bits, as the pattern itself does.
    return FromBitPattern(negative ? 0u - pattern : pattern);
  }

  const std::uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
  const auto magnitude = ReadMagnitude(text, 10, limit);
  if (!magnitude) return std::nullopt;
  const std::int64_t value = negative ? -static_cast<std::int64_t>(*magnitude) : static_cast<std::int64_t>(*magnitude);
  return static_cast<std::int32_t>(value);
}

bool IniValueToBool(std::u16string_view text, bool fallback) {
  const auto value = ParseIniInteger(text);
  return value ? *value != 0 : fallback;
}

}  // namespace core
