#include "core/placement.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "geometry_printing.h"

namespace {

using core::Point;
using core::Rect;

TEST(ApplicationTitleFromPath, CutsFolderAndEverythingFromTheFirstDot) {
  struct Case {
    const char* what;
    std::u16string path;
    std::u16string title;
  };
  const std::vector<Case> cases = {
      {"plain executable", u"C:\\Program Files\\Gold\\GoldBar.exe", u"GoldBar"},
      {"several dots", u"C:\\Apps\\GoldBar.v5.exe", u"GoldBar"},
      {"dot in a folder name", u"C:\\gold.tools\\Ticker.exe", u"Ticker"},
      {"no extension", u"C:\\Apps\\Ticker", u"Ticker"},
      {"no folder", u"Ticker.exe", u"Ticker"},
      {"colon is no separator here", u"C:Ticker.exe", u"C:Ticker"},
      {"forward slash is no separator", u"C:\\a/b.exe", u"a/b"},
      {"name starting with a dot", u"C:\\Apps\\.exe", u""},
      {"UNC path", u"\\\\server\\share\\\u91D1\u4EF7.exe", u"\u91D1\u4EF7"},
      {"path ending in a separator", u"C:\\Apps\\", u""},
      {"empty", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::ApplicationTitleFromPath(c.path), c.title);
  }
}

// ASCII lower-casing is enough to see what the helper hands over.
std::u16string AsciiLower(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return out;
}

TEST(LowerCaseAfterFirst, KeepsTheFirstCodeUnitAndLowersTheRest) {
  EXPECT_EQ(core::LowerCaseAfterFirst(u"GOLDBAR", AsciiLower), u"Goldbar");
  EXPECT_EQ(core::LowerCaseAfterFirst(u"goldBar", AsciiLower), u"goldbar");
  EXPECT_EQ(core::LowerCaseAfterFirst(u"G", AsciiLower), u"G");
  EXPECT_EQ(core::LowerCaseAfterFirst(u"", AsciiLower), u"");
}

TEST(LowerCaseAfterFirst, HandsOnlyTheTailToTheMapping) {
  std::vector<std::u16string> seen;
  const auto recording = [&seen](std::u16string_view tail) {
    seen.emplace_back(tail);
    return std::u16string(tail.size(), u'x');
  };
  EXPECT_EQ(core::LowerCaseAfterFirst(u"ABC", recording), u"Axx");
  EXPECT_EQ(seen, std::vector<std::u16string>{u"BC"});
}

TEST(ProgramDirectory, CutsAfterTheLastBackslashOrColon) {
  struct Case {
    const char* what;
    std::u16string path;
    std::u16string dir;
  };
  const std::vector<Case> cases = {
      {"ordinary path", u"C:\\Apps\\Gold\\GoldBar.exe", u"C:\\Apps\\Gold\\"},
      {"root folder", u"C:\\GoldBar.exe", u"C:\\"},
      {"drive-relative", u"C:GoldBar.exe", u"C:"},
      {"UNC path", u"\\\\server\\share\\GoldBar.exe", u"\\\\server\\share\\"},
      {"long-path prefix", u"\\\\?\\C:\\Apps\\GoldBar.exe", u"\\\\?\\C:\\Apps\\"},
      {"colon after the last backslash wins", u"C:\\Apps\\file:stream", u"C:\\Apps\\file:"},
      {"no separator at all", u"GoldBar.exe", u""},
      {"empty", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::ProgramDirectory(c.path), c.dir);
  }
}

TEST(CenterOnDesktop, HalvesTruncatedSeparatelyAndClampedToTopLeft) {
  struct Case {
    const char* what;
    core::DesktopArea desktop;
    std::int32_t width;
    std::int32_t height;
    Point expected;
  };
  const std::vector<Case> cases = {
      {"single 1920 x 1080 monitor", {0, 0, 1920, 1080}, 286, 31, {817, 525}},
      {"two monitors side by side", {0, 0, 3840, 1080}, 286, 31, {1777, 525}},
      {"second monitor on the left", {-1920, 0, 3840, 1080}, 286, 31, {-143, 525}},
      {"monitor above the primary", {0, -1080, 1920, 2160}, 286, 31, {817, -15}},
      // Halving the difference instead would give (1920 - 287) / 2 = 816.
      {"odd window on an even desktop", {0, 0, 1920, 1080}, 287, 31, {817, 525}},
      {"odd desktop", {0, 0, 1921, 1081}, 288, 32, {816, 524}},
      {"window wider and taller than the desktop", {0, 0, 800, 600}, 966, 631, {0, 0}},
      {"too large on a desktop with negative origin", {-1920, -100, 800, 600}, 966, 631, {-1920, -100}},
      {"window exactly the desktop's size", {0, 0, 1024, 768}, 1024, 768, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::CenterOnDesktop(c.desktop, c.width, c.height), c.expected);
  }
}

TEST(ScaleDesignValue, RoundsToNearestWithHalvesAwayFromZero) {
  struct Case {
    const char* what;
    std::int32_t value;
    std::int32_t measured;
    std::int32_t design;
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {"design height leaves sizes alone", 286, 13, 13, 286},
      {"exact multiple", 286, 16, 13, 352},
      {"rounds down", 31, 16, 13, 38},  // 38.15
      {"rounds up", 592, 16, 13, 729},  // 728.6
      {"negative font height", -13, 16, 13, -16},
      {"negative rounds away from zero", -11, 16, 13, -14},  // -13.54
      {"negative rounds toward zero", -31, 16, 13, -38},     // -38.15
      {"smaller text shrinks", 950, 11, 13, 804},            // 803.8
      {"zero stays zero", 0, 20, 13, 0},
      {"positive half goes up", 1, 1, 2, 1},
      {"negative half goes down", -1, 1, 2, -1},
      {"three halves", 3, 1, 2, 2},
      {"negative design", 5, 1, -2, -3},
      {"zero design leaves the value", 42, 16, 0, 42},
      {"overflow saturates", std::numeric_limits<std::int32_t>::max(), 16, 13,
       std::numeric_limits<std::int32_t>::max()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::ScaleDesignValue(c.value, c.measured, c.design), c.expected);
  }
}

TEST(ScaleDesignValue, DefaultDesignIsThirteen) {
  EXPECT_EQ(core::ScaleDesignValue(31, 16), 38);
  EXPECT_EQ(core::ScaleDesignValue(-11, 16), -14);
}

TEST(MoveToMonitor, KeepsOffsetAndPullsBackInsideRightAndBottom) {
  const Rect primary{0, 0, 1920, 1080};
  const Rect right_of_primary{1920, 0, 3840, 1080};
  const Rect small_left{-1024, 200, 0, 968};
  struct Case {
    const char* what;
    Rect window;
    Rect own;
    Rect target;
    Point expected;
  };
  const std::vector<Case> cases = {
      {"same offset on the target", {2020, 100, 2986, 731}, right_of_primary, primary, {100, 100}},
      {"other direction", {100, 100, 1066, 731}, primary, right_of_primary, {2020, 100}},
      {"pulled back inside the right edge", {3500, 100, 4466, 731}, right_of_primary, primary, {954, 100}},
      {"pulled back inside the bottom edge", {100, 900, 600, 1531}, primary, small_left, {-924, 337}},
      {"pulled back in both directions", {1800, 1000, 2766, 1631}, primary, small_left, {-966, 337}},
      {"wider than the target keeps right edges flush", {100, 100, 1300, 300}, primary, small_left, {-1200, 300}},
      {"negative offset kept", {1900, -20, 2866, 611}, right_of_primary, primary, {-20, -20}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::MoveToMonitor(c.window, c.own, c.target), c.expected);
  }
}

TEST(ErrorReportText, PeriodOnlyAfterCodeUnitsAbovePeriod) {
  struct Case {
    const char* what;
    std::u16string message;
    std::u16string text;
  };
  const std::vector<Case> cases = {
      {"letter", u"Stream write error", u"Stream write error."},
      {"period already there", u"Done.", u"Done."},
      {"closing parenthesis", u"List index out of bounds (1)", u"List index out of bounds (1)"},
      {"exclamation mark", u"Stop!", u"Stop!"},
      {"minus just below period", u"a-", u"a-"},
      {"slash just above period", u"a/", u"a/."},
      {"digit", u"Error 5", u"Error 5."},
      {"CJK", u"\u9519\u8BEF", u"\u9519\u8BEF."},
      {"trailing blank", u"Error ", u"Error "},
      {"empty message", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::ErrorReportText(c.message), c.text);
  }
}

TEST(TrimSystemErrorText, DropsTrailingBlanksBreaksAndPeriods) {
  struct Case {
    const char* what;
    std::u16string raw;
    std::u16string trimmed;
  };
  const std::vector<Case> cases = {
      {"typical system text", u"Access is denied.\r\n", u"Access is denied"},
      {"mixed tail", u"The file exists. . \r\n \r\n", u"The file exists"},
      {"inner periods kept", u"v1.2 failed.", u"v1.2 failed"},
      {"leading blanks kept", u"  text", u"  text"},
      {"CJK text", u"\u62D2\u7EDD\u8BBF\u95EE\u3002\r\n", u"\u62D2\u7EDD\u8BBF\u95EE\u3002"},
      {"nothing to trim", u"Denied", u"Denied"},
      {"only trimmable", u". \r\n.", u""},
      {"empty", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::TrimSystemErrorText(c.raw), c.trimmed);
  }
}

}  // namespace
