// ParseIniInteger against a reading of the same rules built on the C
// library's strtoll and strtoull.
//
// Input: every byte becomes one ASCII code unit (its low seven bits). The
// same text is also tried with one code unit swapped for a non-ASCII one,
// which must never read as an integer.

#include "core/setting_value.h"
#include "fuzz_check.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

bool IsDecimal(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

template <typename Pred>
bool All(const std::string& s, Pred pred) {
  for (char c : s) {
    if (!pred(c)) return false;
  }
  return true;
}

// Blanks, a sign, then decimal digits or a hex prefix and hex digits.
std::optional<std::int32_t> Reference(const std::string& text) {
  std::size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return std::nullopt;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
  }
  std::string rest = text.substr(i);

  bool hex = false;
  if (rest.compare(0, 2, "0x") == 0 || rest.compare(0, 2, "0X") == 0) {
    hex = true;
    rest.erase(0, 2);
  } else if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) {
    hex = true;
    rest.erase(0, 1);
  }
  // strtoll and strtoull accept blanks, signs and "0x" of their own and stop
  // at a NUL; only bare digits go to them.
  if (rest.empty() || !All(rest, hex ? IsHex : IsDecimal)) return std::nullopt;

  errno = 0;
  if (hex) {
    const unsigned long long bits = std::strtoull(rest.c_str(), nullptr, 16);
    if (errno == ERANGE || bits > 0xFFFFFFFFull) return std::nullopt;
    // The 32-bit pattern, negated modulo 2^32 under a minus sign.
    long long value = negative ? -static_cast<long long>(bits) : static_cast<long long>(bits);
    value = ((value % 0x100000000ll) + 0x100000000ll) % 0x100000000ll;
    if (value >= 0x80000000ll) value -= 0x100000000ll;
    return static_cast<std::int32_t>(value);
  }
  const std::string signed_digits = (negative ? "-" : "") + rest;
  const long long value = std::strtoll(signed_digits.c_str(), nullptr, 10);
  if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string ascii;
  std::u16string text;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i] & 0x7F);
    ascii += c;
    text += static_cast<char16_t>(c);
  }

  const std::optional<std::int32_t> value = core::ParseIniInteger(text);
  FUZZ_CHECK(value == Reference(ascii));
  for (bool fallback : {false, true}) {
    FUZZ_CHECK(core::IniValueToBool(text, fallback) == (value ? *value != 0 : fallback));
  }

  if (!text.empty()) {
    // Digits, signs, prefixes and the blank are all ASCII: a full-width
    // digit, or any code unit past U+007F, spoils the number wherever it is.
    std::u16string wide = text;
    const std::size_t at = data[0] % wide.size();
    wide[at] = static_cast<char16_t>(0xFF10 + (data[size - 1] % 10));
    FUZZ_CHECK(!core::ParseIniInteger(wide).has_value());
    wide[at] = static_cast<char16_t>(0x80 | (data[size - 1] << 8) | data[0]);
    FUZZ_CHECK(!core::ParseIniInteger(wide).has_value());
  }
  return 0;
}
