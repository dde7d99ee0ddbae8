#include "core/charsets.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

// The names that carry a code page, grouped by code page as the registry
// lists them.
struct CodePageRow {
  int code_page;
  std::vector<std::string> names;
};

const std::vector<CodePageRow>& CodePageRows() {
  static const std::vector<CodePageRow> rows = {
      {37, {"IBM037"}},
      {437, {"IBM437"}},
      {500, {"IBM500"}},
      {708, {"ASMO-708"}},
      {775, {"IBM775"}},
      {850, {"IBM850"}},
      {852, {"IBM852", "cp852"}},
      {855, {"IBM855"}},
      {857, {"IBM857"}},
      {858, {"IBM00858"}},
      {860, {"IBM860"}},
      {861, {"IBM861"}},
      {863, {"IBM863"}},
      {864, {"IBM864"}},
      {865, {"IBM865"}},
      {866, {"IBM866", "cp866"}},
      {869, {"IBM869"}},
      {870, {"IBM870"}},
      {932, {"csShiftJIS", "Shift_JIS", "MS_Kanji", "csWindows31J"}},
      {936, {"GB_2312-80", "iso-ir-58", "chinese", "csISO58GB231280", "GBK", "csGB2312", "GB2312"}},
      {949,
       {"KS_C_5601-1987", "iso-ir-149", "KS_C_5601-1989", "KSC_5601", "korean", "csKSC56011987", "csEUCKR", "EUC-KR"}},
      {950, {"csBig5", "Big5"}},
      {1026, {"IBM1026"}},
      {1140, {"IBM01140"}},
      {1141, {"IBM01141"}},
      {1142, {"IBM01142"}},
      {1143, {"IBM01143"}},
      {1144, {"IBM01144"}},
      {1145, {"IBM01145"}},
      {1146, {"IBM01146"}},
      {1147, {"IBM01147"}},
      {1148, {"IBM01148"}},
      {1149, {"IBM01149"}},
      {1200, {"UTF-16LE", "UTF-16"}},
      {1250, {"windows-1250"}},
      {1251, {"windows-1251"}},
      {1252,
       {"US-ASCII", "ANSI_X3.4-1968", "iso-ir-6", "ANSI_X3.4-1986", "ISO_646.irv:1991", "ASCII", "ISO646-US", "us",
        "IBM367", "cp367", "csASCII", "windows-1252"}},
      {1253, {"windows-1253"}},
      {1254,
       {"ISO-8859-9", "ISO_8859-9:1989", "iso-ir-148", "ISO_8859-9", "latin5", "l5", "csISOLatin5", "windows-1254"}},
      {1255, {"windows-1255"}},
      {1256, {"windows-1256"}},
      {1257, {"windows-1257"}},
      {1258, {"windows-1258"}},
      {10000, {"macintosh"}},
      {12000, {"UTF-32", "UTF-32LE"}},
      {12001, {"UTF-32BE"}},
      {20866, {"csKOI8R", "KOI8-R"}},
      {28591,
       {"ISO-8859-1", "ISO_8859-1:1987", "iso-ir-100", "ISO_8859-1", "latin1", "l1", "IBM819", "CP819", "csISOLatin1"}},
      {28592, {"ISO-8859-2", "ISO_8859-2:1987", "iso-ir-101", "ISO_8859-2", "latin2", "l2", "csISOLatin2"}},
      {28593, {"ISO-8859-3"}},
      {28594,
       {"ISO-8859-4", "ISO_8859-4:1988", "iso-ir-110", "ISO_8859-4", "latin4", "l4", "csISOLatin4", "iso-ir-111"}},
      {28595, {"ISO-8859-5", "ISO_8859-5:1988", "iso-ir-144", "ISO_8859-5", "cyrillic", "csISOLatinCyrillic"}},
      {28596, {"ISO-8859-6", "ISO_8859-6:1987", "iso-ir-127", "ISO_8859-6", "ECMA-114", "arabic", "csISOLatinArabic"}},
      {28597,
       {"ISO-8859-7", "ISO_8859-7:1987", "iso-ir-126", "ISO_8859-7", "ELOT_928", "ECMA-118", "greek", "greek8",
        "csISOLatinGreek"}},
      {28598, {"ISO-8859-8", "ISO_8859-8:1988", "iso-ir-138", "ISO_8859-8", "hebrew", "csISOLatinHebrew"}},
      {38598, {"ISO-8859-8-I"}},
      {50220, {"ISO-2022-JP"}},
      {50221, {"csISO2022JP"}},
      {50225, {"csISO2022KR", "ISO-2022-KR"}},
      {51932, {"EUC-JP", "Extended_UNIX_Code_Packed_Format_for_Japanese", "csEUCPkdFmtJapanese"}},
      {52936, {"HZ-GB-2312"}},
      {65000, {"UTF-7", "UNICODE-1-1-UTF-7", "csUnicode11UTF7"}},
      {65001, {"UTF-8"}},
  };
  return rows;
}

std::map<std::string, int> ExpectedCodePages() {
  std::map<std::string, int> table;
  for (const CodePageRow& row : CodePageRows()) {
    for (const std::string& name : row.names) table.emplace(name, row.code_page);
  }
  return table;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Every other letter flipped: neither the registry's spelling nor one case.
std::string Alternating(std::string s) {
  bool flip = false;
  for (char& c : s) {
    if (!std::isalpha(static_cast<unsigned char>(c))) continue;
    c = static_cast<char>(flip ? std::toupper(static_cast<unsigned char>(c))
                               : std::tolower(static_cast<unsigned char>(c)));
    flip = !flip;
  }
  return s;
}

TEST(CodePageOfCharset, EveryNameWithACodePageInAnyCase) {
  const std::map<std::string, int> expected = ExpectedCodePages();
  ASSERT_EQ(expected.size(), 153u) << "a name is listed twice in the expectations";
  for (const auto& [name, code_page] : expected) {
    SCOPED_TRACE(name);
    EXPECT_EQ(core::CodePageOfCharset(name), code_page);
    EXPECT_EQ(core::CodePageOfCharset(Upper(name)), code_page);
    EXPECT_EQ(core::CodePageOfCharset(Lower(name)), code_page);
    EXPECT_EQ(core::CodePageOfCharset(Alternating(name)), code_page);
  }
}

TEST(CodePageOfCharset, AsciiNamesDecodeAsWindows1252) {
  for (const char* name : {"US-ASCII", "us-ascii", "ASCII", "us", "csASCII", "ISO646-US"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(core::CodePageOfCharset(name), 1252);
  }
}

TEST(CodePageOfCharset, OtherNamesCarryNone) {
  const char* names[] = {// registered, but without a code page
                         "UTF-16BE", "GB18030", "ISO-8859-15", "KOI8-U", "gb18030", "iso-8859-15",
                         // not registered at all, or near misses of registered names
                         "", "utf8", "UTF_8", "x-unknown", "windows-874", "latin-1", "IBM37", "Big5-HKSCS",
                         // names are not trimmed or cut short
                         " UTF-8", "UTF-8 ", "UTF-", "\"utf-8\""};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    EXPECT_EQ(core::CodePageOfCharset(name), 0);
  }
}

TEST(CharsetOfContentType, FindsTheParameter) {
  struct Case {
    const char* content_type;
    const char* charset;
  } cases[] = {
      {"text/html; charset=utf-8", "utf-8"},
      {"text/html;charset=GB2312", "GB2312"},
      {"text/plain; CHARSET=Big5", "Big5"},
      {"text/plain; ChArSeT=koi8-r", "koi8-r"},
      {"text/plain; format=flowed; charset=big5", "big5"},
      {"text/plain; charset = us-ascii ", "us-ascii"},
      {"text/plain; charset=\"utf-8\"", "utf-8"},
      {"text/plain; charset=\"a;b\"; x=1", "a;b"},
      {"text/plain; charset=\"say \\\"hi\\\"\"", "say \"hi\""},
      {"text/plain; charset=first; charset=second", "first"},
      {"text/plain; charset=", ""},
      {"text/plain; charset=\"\"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content_type);
    const std::optional<std::string> charset = core::CharsetOfContentType(c.content_type);
    ASSERT_TRUE(charset.has_value());
    EXPECT_EQ(*charset, c.charset);
  }
}

TEST(CharsetOfContentType, NoneWithoutTheParameter) {
  for (const char* content_type :
       {"", "text/html", "text/html;", "text/html; format=flowed", "text/html; charset", "text/html; xcharset=utf-8",
        "text/html; charsets=utf-8", "text/html; name=\"charset=utf-8\""}) {
    SCOPED_TRACE(content_type);
    EXPECT_FALSE(core::CharsetOfContentType(content_type).has_value());
  }
}

TEST(DecodeLatin1, EachByteBecomesOneCharacter) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  const std::u16string text = core::DecodeLatin1(bytes);
  ASSERT_EQ(text.size(), 256u);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(static_cast<int>(text[static_cast<std::size_t>(b)]), b);
}

TEST(DecodeLatin1, AUtf8ByteOrderMarkStaysAsThreeCharacters) {
  EXPECT_EQ(core::DecodeLatin1("\xEF\xBB\xBFok"), std::u16string(u"\u00EF\u00BB\u00BFok"));
  EXPECT_EQ(core::DecodeLatin1(""), std::u16string());
}

TEST(DecodeUtf16, BothByteOrders) {
  using namespace std::string_literals;
  struct Case {
    const char* what;
    std::string bytes;
    bool big_endian;
    std::u16string text;
  };
  const std::vector<Case> cases = {
      {"empty", "", false, u""},
      {"LE ASCII", "a\0b\0"s, false, u"ab"},
      {"byte-order mark stays",
       "\xFF\xFE"
       "A\0"s,
       false, u"\uFEFFA"},
      {"BE ASCII", "\0a\0b"s, true, u"ab"},
      {"LE CJK", "\xD1\x91", false, u"\u91D1"},
      {"BE CJK", "\x91\xD1", true, u"\u91D1"},
      {"last odd byte dropped", "a\0b"s, false, u"a"},
      {"single byte gives nothing", "a", true, u""},
      {"surrogate pair", "\x3D\xD8\x00\xDE"s, false, u"\U0001F600"},
      {"lone surrogate passes through",
       "\x00\xD8"
       "a\0"s,
       false,
       u"\xD800"
       u"a"},
      {"NUL code unit kept", "\0\0a\0"s, false, u"\0a"s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::DecodeUtf16(c.bytes, c.big_endian), c.text);
  }
}

}  // namespace
