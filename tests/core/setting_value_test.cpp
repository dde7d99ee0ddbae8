#include "core/setting_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

struct IntegerCase {
  const char* what;
  std::u16string text;
  std::optional<std::int32_t> value;
};

void ExpectIntegers(const std::vector<IntegerCase>& cases) {
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::ParseIniInteger(c.text), c.value);
  }
}

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(ParseIniInteger, Decimal) {
  ExpectIntegers({
      {"zero", u"0", 0},
      {"one", u"1", 1},
      {"plus sign", u"+5", 5},
      {"minus sign", u"-1", -1},
      {"leading zeros", u"007", 7},
      {"largest", u"2147483647", kMax},
      {"smallest", u"-2147483648", kMin},
      {"one past largest", u"2147483648", std::nullopt},
      {"one past smallest", u"-2147483649", std::nullopt},
      {"far beyond 64 bits", u"123456789012345678901234567890", std::nullopt},
  });
}

TEST(ParseIniInteger, HexPrefixesAndPatterns) {
  ExpectIntegers({
      {"0x lower", u"0x10", 16},
      {"0X upper", u"0X1f", 31},
      {"dollar", u"$ff", 255},
      {"bare x", u"x10", 16},
      {"bare X", u"XaB", 171},
      {"eight F is minus one", u"0xFFFFFFFF", -1},
      {"sign bit alone", u"$80000000", kMin},
      {"largest positive pattern", u"$7FFFFFFF", kMax},
      {"leading zeros do not count against the width", u"0x000000010", 16},
      {"nine digits do not fit", u"0x100000000", std::nullopt},
      {"negated hex", u"-$10", -16},
      {"negated pattern wraps", u"-$FFFFFFFF", 1},
      {"plus before prefix", u"+0x10", 16},
  });
}

TEST(ParseIniInteger, LeadingBlanksOnly) {
  ExpectIntegers({
      {"blank before digits", u" 7", 7},
      {"several blanks before sign", u"   -3", -3},
      {"blank before hex", u" $a", 10},
      {"trailing blank", u"7 ", std::nullopt},
      {"blank after sign", u"- 3", std::nullopt},
      {"blank after prefix", u"0x 1", std::nullopt},
      {"leading tab", u"\t7", std::nullopt},
      {"blanks only", u"   ", std::nullopt},
  });
}

TEST(ParseIniInteger, NotIntegers) {
  ExpectIntegers({
      {"empty", u"", std::nullopt},
      {"word true", u"true", std::nullopt},
      {"word yes", u"yes", std::nullopt},
      {"prefix without digits", u"0x", std::nullopt},
      {"dollar without digits", u"$", std::nullopt},
      {"sign alone", u"-", std::nullopt},
      {"two signs", u"+-1", std::nullopt},
      {"decimal point", u"1.5", std::nullopt},
      {"hex letter in decimal", u"1a", std::nullopt},
      {"non-hex letter after prefix", u"0xg", std::nullopt},
      {"sign after prefix", u"0x-1", std::nullopt},
      {"full-width digit", u"\uFF11", std::nullopt},
  });
}

TEST(IniValueToBool, NonZeroIntegersAreTrue) {
  for (const char16_t* text : {u"1", u"2", u"-1", u"0x10", u" 7", u"$ff", u"0xFFFFFFFF"}) {
    SCOPED_TRACE(::testing::PrintToString(std::u16string(text)));
    EXPECT_TRUE(core::IniValueToBool(text, false));
  }
}

TEST(IniValueToBool, ZeroIsFalseWhateverTheFallback) {
  for (const char16_t* text : {u"0", u"-0", u"0x0", u"$00000000"}) {
    SCOPED_TRACE(::testing::PrintToString(std::u16string(text)));
    EXPECT_FALSE(core::IniValueToBool(text, true));
  }
}

TEST(IniValueToBool, NoIntegerGivesTheFallback) {
  for (const char16_t* text : {u"", u"true", u"yes", u"0x", u"1.5", u"2147483648", u"1 "}) {
    SCOPED_TRACE(::testing::PrintToString(std::u16string(text)));
    EXPECT_FALSE(core::IniValueToBool(text, false));
    EXPECT_TRUE(core::IniValueToBool(text, true));
  }
}

}  // namespace
