#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace core {

// Reads a settings value as a signed 32-bit integer: leading blanks
// (U+0020 only), an optional '+' or '-', then either decimal digits or hex
// digits behind "$", "x", "X", "0x" or "0X". The digits must run to the
// end. Decimal values outside the int32 range fail; hex values must fit in
// 32 bits and are taken as a bit pattern, so "FFFFFFFF" reads as -1.
std::optional<std::int32_t> ParseIniInteger(std::u16string_view text);

// A boolean settings value: true for any non-zero integer, false for zero,
// and `fallback` when the text is no integer at all.
bool IniValueToBool(std::u16string_view text, bool fallback);

}  // namespace core
