#include "core/notes_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using core::NotesEncoding;

// Stand-in for the platform's ANSI conversion: Latin-1, byte for code unit.
std::u16string Latin1(std::string_view bytes) {
  std::u16string out;
  for (char b : bytes) out += static_cast<char16_t>(static_cast<unsigned char>(b));
  return out;
}

// Latin-1 as the ANSI code page: every byte decodes and comes back. Each strict decoding's
// input is recorded in `seen` when it is given.
core::AnsiCodePage Latin1CodePage(std::vector<std::string>* seen = nullptr) {
  core::AnsiCodePage page;
  page.decode_strict = [seen](std::string_view bytes) {
    if (seen) seen->emplace_back(bytes);
    return std::optional<std::u16string>(Latin1(bytes));
  };
  page.decode = Latin1;
  page.encode = [](std::u16string_view text) {
    std::string out;
    for (char16_t c : text) out += static_cast<char>(c);
    return out;
  };
  return page;
}

TEST(DetectByteOrderMark, MarksAndTheirLengths) {
  struct Case {
    const char* what;
    std::string bytes;
    NotesEncoding encoding;
    std::size_t length;
  };
  const std::vector<Case> cases = {
      {"UTF-16 LE",
       "\xFF\xFE"
       "a\0"s,
       NotesEncoding::kUtf16Le, 2},
      {"UTF-16 BE", "\xFE\xFF\0a"s, NotesEncoding::kUtf16Be, 2},
      {"UTF-8",
       "\xEF\xBB\xBF"
       "abc",
       NotesEncoding::kUtf8, 3},
      {"UTF-16 LE mark alone", "\xFF\xFE", NotesEncoding::kUtf16Le, 2},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", NotesEncoding::kUtf8, 3},
      {"UTF-32 LE mark reads as UTF-16 LE", "\xFF\xFE\0\0"s, NotesEncoding::kUtf16Le, 2},
      {"empty file", "", NotesEncoding::kAnsi, 0},
      {"plain text", "abc", NotesEncoding::kAnsi, 0},
      {"first byte of UTF-16 mark only", "\xFF", NotesEncoding::kAnsi, 0},
      {"first byte of BE mark only", "\xFE", NotesEncoding::kAnsi, 0},
      {"first two bytes of UTF-8 mark only", "\xEF\xBB", NotesEncoding::kAnsi, 0},
      {"broken UTF-8 mark",
       "\xEF\xBB"
       "a",
       NotesEncoding::kAnsi, 0},
      {"same byte twice", "\xFE\xFE", NotesEncoding::kAnsi, 0},
      {"mark not at the start", "a\xFF\xFE", NotesEncoding::kAnsi, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const core::ByteOrderMark mark = core::DetectByteOrderMark(c.bytes);
    EXPECT_EQ(mark.encoding, c.encoding);
    EXPECT_EQ(mark.length, c.length);
  }
}

TEST(DecodeUtf8, WellFormedSequencesAtEveryBoundary) {
  struct Case {
    const char* what;
    std::string bytes;
    std::u16string text;
  };
  const std::vector<Case> cases = {
      {"empty", "", u""},
      {"ASCII", "Gold 1.5", u"Gold 1.5"},
      {"NUL byte", "a\0b"s, u"a\0b"s},
      {"U+0080", "\xC2\x80", u"\u0080"},
      {"U+07FF", "\xDF\xBF", u"\u07FF"},
      {"U+0800", "\xE0\xA0\x80", u"\u0800"},
      {"CJK", "\xE9\x87\x91", u"\u91D1"},
      {"U+D7FF below surrogates", "\xED\x9F\xBF", u"\uD7FF"},
      {"U+E000 above surrogates", "\xEE\x80\x80", u"\uE000"},
      {"second mark is a character", "\xEF\xBB\xBF", u"\uFEFF"},
      {"U+FFFF", "\xEF\xBF\xBF", u"\uFFFF"},
      {"U+10000", "\xF0\x90\x80\x80", u"\U00010000"},
      {"emoji", "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"U+10FFFF", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::DecodeUtf8(c.bytes), std::optional<std::u16string>(c.text));
  }
}

TEST(DecodeUtf8, AnyIllFormedSequenceFailsTheWholeText) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"stray continuation", "a\x80"
                             "b"},
      {"overlong NUL", "\xC0\x80"},
      {"overlong two-byte", "\xC1\xBF"},
      {"overlong three-byte", "\xE0\x9F\xBF"},
      {"overlong four-byte", "\xF0\x8F\xBF\xBF"},
      {"high surrogate encoded", "\xED\xA0\x80"},
      {"low surrogate encoded", "\xED\xBF\xBF"},
      {"encoded surrogate pair", "\xED\xA0\xBD\xED\xB8\x80"},
      {"above U+10FFFF", "\xF4\x90\x80\x80"},
      {"lead F5", "\xF5\x80\x80\x80"},
      {"byte FF", "\xFF"},
      {"truncated at the end", "ok\xE9\x87"},
      {"lead followed by ASCII", "\xC3"
                                 "a"},
      {"bad third byte", "\xE9\x87"
                         "A"},
      {"bad fourth byte", "\xF0\x9F\x98"
                          "A"},
      {"fault deep inside valid text", "\xE9\x87\x91 abc \xC3\xA9 \xA9 tail"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::DecodeUtf8(c.bytes), std::nullopt);
  }
}

TEST(NormalizeLineBreaks, EveryBreakBecomesCrLf) {
  struct Case {
    const char* what;
    std::u16string in;
    std::u16string out;
  };
  const std::vector<Case> cases = {
      {"empty", u"", u""},
      {"no break", u"abc", u"abc"},
      {"CR LF stays", u"a\r\nb\r\n", u"a\r\nb\r\n"},
      {"lone LF", u"a\nb", u"a\r\nb"},
      {"lone CR", u"a\rb", u"a\r\nb"},
      {"LF CR is two breaks", u"a\n\rb", u"a\r\n\r\nb"},
      {"CR CR LF is two breaks", u"a\r\r\nb", u"a\r\n\r\nb"},
      {"two LFs", u"\n\n", u"\r\n\r\n"},
      {"CR at the very end", u"a\r", u"a\r\n"},
      {"mixed", u"1\r\n2\n3\r4", u"1\r\n2\r\n3\r\n4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::NormalizeLineBreaks(c.in), c.out);
  }
}

// A small double-byte code page standing in for the platform's: ASCII below 0x80; a lead byte
// 0x81-0xFE takes a trail byte 0x40-0xFE; 0x80 decodes to U+00A0, which encodes as a blank,
// so it does not come back. The lenient decoding makes "?" of what the strict one refuses.
core::AnsiCodePage ToyDoubleByteCodePage() {
  auto decode = [](std::string_view bytes, bool strict) -> std::optional<std::u16string> {
    std::u16string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const unsigned b = static_cast<unsigned char>(bytes[i]);
      if (b < 0x80) {
        out += static_cast<char16_t>(b);
      } else if (b == 0x80) {
        out += u'\u00A0';
      } else if (b == 0xFF) {
        if (strict) return std::nullopt;
        out += u'?';
      } else {
        const unsigned t = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if (t < 0x40 || t == 0x7F || t == 0xFF) {
          if (strict) return std::nullopt;
          out += u'?';
          continue;
        }
        out += static_cast<char16_t>(0x4E00 + (b - 0x81) * 0xBF + (t - 0x40));
        ++i;
      }
    }
    return out;
  };
  core::AnsiCodePage page;
  page.decode_strict = [decode](std::string_view bytes) { return decode(bytes, true); };
  page.decode = [decode](std::string_view bytes) { return *decode(bytes, false); };
  page.encode = [](std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else if (c == u'\u00A0') {
        out += ' ';
      } else if (c >= 0x4E00 && c < 0x4E00 + 0x7E * 0xBF) {
        out += static_cast<char>(0x81 + (c - 0x4E00) / 0xBF);
        out += static_cast<char>(0x40 + (c - 0x4E00) % 0xBF);
      } else {
        out += '?';
      }
    }
    return out;
  };
  return page;
}

TEST(NotesFileForPad, FilesWhoseBytesWouldNotComeBackAreShownButNotExact) {
  struct Case {
    const char* what;
    std::string bytes;
    std::optional<std::u16string> text;
    bool exact;
  };
  const std::u16string pair = u"\u4E00";  // 81 40 in the toy code page
  const std::vector<Case> cases = {
      {"ANSI, LF breaks", "a\nb", u"a\r\nb", true},
      {"ANSI double-byte pair", "\x81\x40z", pair + u"z", true},
      {"UTF-8 without a mark, a character before the line end", "\xE4\xBD\xA0\r\n", u"\u4F60\r\n", false},
      {"cut after a lead byte", "ab\x81", u"ab?", false},
      {"decodes, but encodes back otherwise", "x\x80", u"x\u00A0", false},
      {"NUL bytes shown as blanks", "a\0\0b\r\n"s, u"a  b\r\n", false},
      {"UTF-16 LE",
       "\xFF\xFE"
       "a\0\n\0"s,
       u"a\r\n", true},
      {"UTF-16 LE with a last odd byte",
       "\xFF\xFE"
       "a\0b"s,
       u"a", false},
      {"UTF-16 BE with an unpaired surrogate", "\xFE\xFF\xD8\x3D\0a"s,
       u"\xD83D"
       u"a",
       false},
      {"UTF-16 LE holding NUL",
       "\xFF\xFE"
       "a\0\0\0"s,
       u"a ", false},
      {"cut-off UTF-8 mark decodes as ANSI", "\xEF\xBB",
       std::u16string(1, static_cast<char16_t>(0x4E00 + (0xEF - 0x81) * 0xBF + (0xBB - 0x40))), true},
      {"UTF-16 LE with CR breaks",
       "\xFF\xFE"
       "a\0\r\0b\0"s,
       u"a\r\nb", true},
      {"UTF-16 BE with odd tail", "\xFE\xFF\0a\0\n\0b\0"s, u"a\r\nb", false},
      {"UTF-8 with a mark", "\xEF\xBB\xBF\xE4\xBD\xA0", u"\u4F60", true},
      {"UTF-8 with a mark, LF break", "\xEF\xBB\xBF\xE9\x87\x91\n", u"\u91D1\r\n", true},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", u"", true},
      {"UTF-8 mark with an overlong body",
       "\xEF\xBB\xBF"
       "a\xC0\x80",
       std::nullopt, true},
      {"UTF-8 with a mark, invalid", "\xEF\xBB\xBF\xE4\xBD", std::nullopt, true},
      {"zero bytes", "", u"", true},
  };
  const core::AnsiCodePage page = ToyDoubleByteCodePage();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<core::NotesForPad> pad = core::NotesFileForPad(c.bytes, page);
    ASSERT_EQ(pad.has_value(), c.text.has_value());
    if (!pad) continue;
    EXPECT_EQ(pad->text, *c.text);
    EXPECT_EQ(pad->exact, c.exact);
  }
}

TEST(NotesFileForPad, CodePageGetsEveryByteAndOnlyForUnmarkedFiles) {
  std::vector<std::string> seen;
  const core::AnsiCodePage page = Latin1CodePage(&seen);
  core::NotesFileForPad("\xFF"
                        "abc",
                        page);
  core::NotesFileForPad("\xFF\xFE"
                        "a\0"s,
                        page);
  core::NotesFileForPad("\xEF\xBB\xBF"
                        "a",
                        page);
  EXPECT_EQ(seen, std::vector<std::string>{"\xFF"
                                           "abc"});
}

TEST(EncodeUtf8WithBom, MarkThenUtf8) {
  struct Case {
    const char* what;
    std::u16string text;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"empty text is the mark alone", u"", "\xEF\xBB\xBF"},
      {"ASCII with CR LF", u"a\r\nb",
       "\xEF\xBB\xBF"
       "a\r\nb"},
      {"two-byte", u"\u00E9", "\xEF\xBB\xBF\xC3\xA9"},
      {"CJK", u"\u91D1", "\xEF\xBB\xBF\xE9\x87\x91"},
      {"surrogate pair", u"\U0001F600", "\xEF\xBB\xBF\xF0\x9F\x98\x80"},
      {"highest code point", u"\U0010FFFF", "\xEF\xBB\xBF\xF4\x8F\xBF\xBF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::EncodeUtf8WithBom(c.text), c.bytes);
  }
}

TEST(EncodeUtf8WithBom, UnpairedSurrogatesBecomeReplacementCharacter) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    const char* what;
    std::u16string text;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"high at the end", u"a\xD83D", bom + "a" + fffd},
      {"low alone",
       u"\xDE00"
       u"b",
       bom + fffd + "b"},
      {"high before a non-surrogate",
       u"\xD83D"
       u"b",
       bom + fffd + "b"},
      {"pair in the wrong order", u"\xDE00\xD83D", bom + fffd + fffd},
      {"two highs then a low", u"\xD83D\xD83D\xDE00", bom + fffd + "\xF0\x9F\x98\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(core::EncodeUtf8WithBom(c.text), c.bytes);
  }
}

TEST(EncodeUtf8WithBom, ReadsBackAsTheSameText) {
  const std::u16string text = u"\u91D1 2345.67\u2191\r\n\U0001F600 \u00A0\uFEFF end";
  const std::string bytes = core::EncodeUtf8WithBom(text);
  const std::optional<core::NotesForPad> pad = core::NotesFileForPad(bytes, Latin1CodePage());
  ASSERT_TRUE(pad.has_value());
  EXPECT_EQ(pad->text, text);
  EXPECT_TRUE(pad->exact);
}

}  // namespace
