#include "core/program_path.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

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

}  // namespace
