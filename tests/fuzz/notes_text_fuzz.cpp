// The notes file's byte rules over arbitrary input, read two ways: as the
// bytes of a file (marks, strict UTF-8, UTF-16, the ANSI hand-off), and as
// little-endian UTF-16 code units of text being normalised and saved.

#include "core/notes_text.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string kMark = "\xEF\xBB\xBF";

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::u16string Latin1(std::string_view bytes) {
  std::u16string out;
  for (char b : bytes) out += static_cast<char16_t>(static_cast<unsigned char>(b));
  return out;
}

// Well-formed UTF-8, checked by decoding each sequence by its bit pattern and
// refusing code points written longer than needed, surrogates and anything
// past U+10FFFF.
bool IsWellFormedUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const unsigned b = static_cast<unsigned char>(bytes[i]);
    std::size_t length;
    std::uint32_t cp;
    std::uint32_t least;
    if (b < 0x80) {
      length = 1, cp = b, least = 0;
    } else if ((b & 0xE0) == 0xC0) {
      length = 2, cp = b & 0x1F, least = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      length = 3, cp = b & 0x0F, least = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      length = 4, cp = b & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < least || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

// The text with every unpaired surrogate replaced by U+FFFD.
std::u16string PairedOnly(std::u16string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1])) {
      out += text[i];
      out += text[++i];
    } else if (IsHigh(text[i]) || IsLow(text[i])) {
      out += char16_t{0xFFFD};
    } else {
      out += text[i];
    }
  }
  return out;
}

// The text with every NUL shown as a blank, as the pad shows it.
std::u16string Blanked(std::u16string text) {
  for (char16_t& c : text) {
    if (c == u'\0') c = u' ';
  }
  return text;
}

// Latin-1 as the ANSI code page: every byte decodes and comes back. Each strict decoding's
// input is recorded in `calls` when it is given.
core::AnsiCodePage Latin1CodePage(std::vector<std::string>* calls = nullptr) {
  return {[calls](std::string_view b) {
            if (calls) calls->emplace_back(b);
            return std::optional<std::u16string>(Latin1(b));
          },
          Latin1,
          [](std::u16string_view t) {
            std::string out;
            for (char16_t c : t) out += c < 0x100 ? static_cast<char>(c) : '?';
            return out;
          }};
}

std::u16string WithoutBreaks(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c != u'\r' && c != u'\n') out += c;
  }
  return out;
}

// Every CR is followed by LF and every LF follows a CR.
void CheckOnlyCrLf(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == u'\n');
    if (text[i] == u'\n') FUZZ_CHECK(i > 0 && text[i - 1] == u'\r');
  }
}

void CheckFileBytes(std::string_view bytes) {
  // Strict UTF-8 decoding agrees with the bit-pattern reading, and what it
  // accepts saves back byte for byte.
  const std::optional<std::u16string> utf8 = core::DecodeUtf8(bytes);
  FUZZ_CHECK(utf8.has_value() == IsWellFormedUtf8(bytes));
  if (utf8) FUZZ_CHECK(core::EncodeUtf8WithBom(*utf8) == kMark + std::string(bytes));

  // UTF-16 in both orders: one code unit per two bytes, giving back the bytes.
  for (bool big_endian : {false, true}) {
    const std::u16string units = core::DecodeUtf16(bytes, big_endian);
    FUZZ_CHECK(units.size() == bytes.size() / 2);
    std::string back;
    for (char16_t c : units) {
      const char high = static_cast<char>(c >> 8);
      const char low = static_cast<char>(c & 0xFF);
      back += big_endian ? high : low;
      back += big_endian ? low : high;
    }
    FUZZ_CHECK(back == bytes.substr(0, bytes.size() & ~std::size_t{1}));
  }

  // The pad's load: the ANSI code page sees every byte of an unmarked file
  // and nothing of a marked one; only a UTF-8 file can fail; what loads
  // has CR LF breaks only and no NUL and, breaks aside, is the decoded text
  // with its NULs blanked; exact text is the decoded text itself, and with
  // Latin-1 (which gives every byte back) any unmarked file without NUL is exact.
  std::vector<std::string> ansi_calls;
  const std::optional<core::NotesForPad> pad = core::NotesFileForPad(bytes, Latin1CodePage(&ansi_calls));
  const bool marked_utf8 = bytes.substr(0, 3) == kMark;
  const bool marked_utf16 = bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
  if (marked_utf8 || marked_utf16) {
    FUZZ_CHECK(ansi_calls.empty());
  } else {
    FUZZ_CHECK(ansi_calls.size() == 1 && ansi_calls[0] == bytes);
  }
  std::optional<std::u16string> decoded;
  if (marked_utf8) {
    decoded = core::DecodeUtf8(bytes.substr(3));
  } else if (marked_utf16) {
    decoded = core::DecodeUtf16(bytes.substr(2), bytes[0] == '\xFE');
  } else {
    decoded = Latin1(bytes);
  }
  FUZZ_CHECK(pad.has_value() == decoded.has_value());
  if (pad) {
    FUZZ_CHECK(pad->text.find(u'\0') == std::u16string::npos);
    CheckOnlyCrLf(pad->text);
    FUZZ_CHECK(WithoutBreaks(pad->text) == WithoutBreaks(Blanked(*decoded)));
    if (pad->exact) FUZZ_CHECK(WithoutBreaks(pad->text) == WithoutBreaks(*decoded));
    if (!marked_utf8 && !marked_utf16 && bytes.find('\0') == std::string_view::npos) FUZZ_CHECK(pad->exact);
  }
}

void CheckText(std::u16string_view text) {
  const std::u16string normal = core::NormalizeLineBreaks(text);
  CheckOnlyCrLf(normal);
  FUZZ_CHECK(core::NormalizeLineBreaks(normal) == normal);
  FUZZ_CHECK(WithoutBreaks(normal) == WithoutBreaks(text));
  // One break for each LF and each CR that no LF follows.
  std::size_t breaks = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n' || (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n'))) ++breaks;
  }
  std::size_t crlf = 0;
  for (std::size_t i = 0; i + 1 < normal.size(); ++i) crlf += normal[i] == u'\r' && normal[i + 1] == u'\n';
  FUZZ_CHECK(crlf == breaks);

  // Saving: the mark, then UTF-8 that reads back strictly as the text with
  // its unpaired surrogates turned into U+FFFD; and loading the saved file
  // gives the normalised text, exact unless it holds NUL.
  const std::string saved = core::EncodeUtf8WithBom(text);
  FUZZ_CHECK(saved.compare(0, 3, kMark) == 0);
  const std::optional<std::u16string> read_back = core::DecodeUtf8(std::string_view(saved).substr(3));
  FUZZ_CHECK(read_back.has_value());
  FUZZ_CHECK(*read_back == PairedOnly(text));
  const std::optional<core::NotesForPad> reloaded = core::NotesFileForPad(saved, Latin1CodePage());
  FUZZ_CHECK(reloaded.has_value());
  FUZZ_CHECK(reloaded->text == core::NormalizeLineBreaks(Blanked(PairedOnly(text))));
  FUZZ_CHECK(reloaded->exact == (text.find(u'\0') == std::u16string_view::npos));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckFileBytes(bytes);

  std::u16string text;
  for (std::size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  CheckText(text);
  return 0;
}
