#include "core/error_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

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
