#include "core/quote_reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using Items = std::vector<std::u16string>;

struct ReplyCase {
  const char* what;
  std::u16string reply;
  Items items;
};

void ExpectItems(const std::vector<ReplyCase>& cases) {
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::ParseQuoteReply(c.reply), c.items);
  }
}

// Arrows the direction letters become.
const std::u16string kRight = u"\u2192";
const std::u16string kUp = u"\u2191";
const std::u16string kDown = u"\u2193";

TEST(ParseQuoteReply, EmptyAndBlankRepliesHaveNoItems) {
  ExpectItems({
      {"empty", u"", {}},
      {"blanks only", u"   ", {}},
      {"CR LF only", u"\r\n", {}},
      {"every separator", u"\x01\x02\t\n\x0B\x0C\r\x1F ", {}},
  });
}

TEST(ParseQuoteReply, DelimiterPlacement) {
  ExpectItems({
      {"one item", u"a", {u"a"}},
      {"two items", u"a|b", {u"a", u"b"}},
      {"trailing line break", u"a|b\r\n", {u"a", u"b"}},
      {"extra items kept in order", u"a|b|c|d", {u"a", u"b", u"c", u"d"}},
      {"empty middle item", u"a||b", {u"a", u"", u"b"}},
      {"leading delimiter", u"|b", {u"", u"b"}},
      {"delimiter last", u"a|", {u"a", u""}},
      {"delimiter then blank", u"a| ", {u"a"}},
      {"delimiter then CR LF", u"a|\r\n", {u"a"}},
      {"two items and delimiter last", u"a|b|", {u"a", u"b", u""}},
      {"lone delimiter", u"|", {u"", u""}},
      {"two delimiters", u"||", {u"", u"", u""}},
      {"blank before leading delimiter", u" |b", {u"", u"b"}},
      {"repeated items kept", u"a|a", {u"a", u"a"}},
  });
}

TEST(ParseQuoteReply, SeparatorsEndItemsButNeverMakeEmptyOnes) {
  ExpectItems({
      {"blanks around items", u" a | b ", {u"a", u"b"}},
      {"tabs around delimiter", u"a\t|\tb", {u"a", u"b"}},
      {"blank inside a figure", u"a b|c", {u"a", u"b", u"c"}},
      {"runs of separators", u"a \r\n\t b", {u"a", u"b"}},
      {"control character U+0001",
       u"a\x01"
       u"b",
       {u"a", u"b"}},
      {"line breaks between figures", u"1.5\r\n2.5\r\n", {u"1.5", u"2.5"}},
  });
}

TEST(ParseQuoteReply, CodeUnitsAboveBlankStayInTheItem) {
  ExpectItems({
      {"byte-order mark at the start",
       u"\uFEFF"
       u"a|b",
       {u"\uFEFF"
        u"a",
        u"b"}},
      {"no-break space",
       u"a\u00A0"
       u"b|c",
       {u"a\u00A0"
        u"b",
        u"c"}},
      {"ideographic space",
       u"a\u3000"
       u"b|c",
       {u"a\u3000"
        u"b",
        u"c"}},
      {"DEL",
       u"a\x7F"
       u"b|c",
       {u"a\x7F"
        u"b",
        u"c"}},
      {"CJK and a surrogate pair", u"\u91D1\U0001F600|x", {u"\u91D1\U0001F600", u"x"}},
      {"figures with dots", u"2345.67|28.90", {u"2345.67", u"28.90"}},
  });
}

TEST(ParseQuoteReply, DirectionLettersBecomeArrowsWherever) {
  ExpectItems({
      {"letters ending figures", u"aR|bD", {u"a" + kRight, u"b" + kDown}},
      {"letters as items of their own", u"a R|b D", {u"a", kRight, u"b", kDown}},
      {"upper case only", u"RUD|rud", {kRight + kUp + kDown, u"rud"}},
      {"letter inside a word", u"aRb", {u"a" + kRight + u"b"}},
      {"inside a quoted item", u"\"R U\"|D", {kRight + u" " + kUp, kDown}},
      {"other letters unchanged", u"ABC|xyz", {u"ABC", u"xyz"}},
  });
}

TEST(ParseQuoteReply, QuotedItems) {
  ExpectItems({
      {"blank inside quotes", u"\"x y\"|c", {u"x y", u"c"}},
      {"delimiter inside quotes", u"\"a|b\"|c", {u"a|b", u"c"}},
      {"line break inside quotes", u"\"a\r\nb\"|c", {u"a\r\nb", u"c"}},
      {"doubled quote is one quote", u"\"a\"\"b\"|c", {u"a\"b", u"c"}},
      {"empty quoted item", u"\"\"|a", {u"", u"a"}},
      {"quote opens after a separator", u"a \"b c\"|d", {u"a", u"b c", u"d"}},
      {"quote inside a run opens nothing", u"a\"x y\"|c", {u"a\"x", u"y\"", u"c"}},
      {"text behind closing quote is a new item", u"\"ab\"cd|e", {u"ab", u"cd", u"e"}},
      {"blanks behind closing quote", u"\"a\"  |b", {u"a", u"b"}},
      {"quoted item then delimiter last", u"\"a\"|", {u"a", u""}},
      {"unclosed quote runs to the end", u"a|\"b c", {u"a", u"b c"}},
      {"unclosed quote keeps doubled quotes", u"\"a\"\"b |c", {u"a\"b |c"}},
      {"doubled quote at the very end", u"\"a\"\"", {u"a\""}},
      {"lone quote", u"\"", {u""}},
  });
}

TEST(ParseQuoteReply, FirstNulEndsTheText) {
  ExpectItems({
      {"NUL before delimiter", u"a\0|b"s, {u"a"}},
      {"NUL after two items", u"a|b\0c|d"s, {u"a", u"b"}},
      {"NUL first", u"\0a|b"s, {}},
      {"delimiter right before NUL", u"a|\0b"s, {u"a", u""}},
      {"NUL ends an unclosed quote", u"\"a b\0c\"|d"s, {u"a b"}},
      {"closing quote right before NUL", u"\"a\"\0\"b"s, {u"a"}},
  });
}

TEST(ParseQuoteReply, AWebPageStillYieldsItems) {
  const std::u16string page = u"<!DOCTYPE html>\r\n"
                              u"<html><body>Service Unavailable</body></html>\r\n";
  const Items items = core::ParseQuoteReply(page);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0], u"<!" + kDown + u"OCTYPE");
  EXPECT_EQ(items[1], u"html>");
  EXPECT_EQ(items[2], u"<html><body>Service");
  EXPECT_EQ(items[3], kUp + u"navailable</body></html>");
}

}  // namespace
