#include "core/notes_text.h"

#include <cstdint>

namespace core {
namespace {

std::uint8_t ByteAt(std::string_view bytes, std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); }

bool StartsWith(std::string_view bytes, std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; }

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendCodePoint(std::u16string& out, std::uint32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
    return;
  }
  cp -= 0x10000;
  out += static_cast<char16_t>(0xD800 + (cp >> 10));
  out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  auto put = [&out](std::uint32_t b) { out += static_cast<char>(static_cast<unsigned char>(b)); };
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6));
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18));
    put(0x80 | ((cp >> 12) & 0x3F));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
}

// The lead byte fixes the sequence length and the allowed range of the
// second byte; that range is what rules out overlongs, surrogates and code
// points past U+10FFFF (Unicode's table of well-formed byte sequences).
struct LeadByte {
  int length;  // 0 for a byte that cannot start a sequence
  std::uint8_t second_min;
  std::uint8_t second_max;
};

LeadByte ClassifyLead(std::uint8_t b) {
  if (b < 0x80) return {1, 0, 0};
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

ByteOrderMark DetectByteOrderMark(std::string_view bytes) {
  if (StartsWith(bytes, "\xFF\xFE")) return {NotesEncoding::kUtf16Le, 2};
  if (StartsWith(bytes, "\xFE\xFF")) return {NotesEncoding::kUtf16Be, 2};
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return {NotesEncoding::kUtf8, 3};
  return {NotesEncoding::kAnsi, 0};
}

std::optional<std::u16string> DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const LeadByte lead = ClassifyLead(ByteAt(bytes, i));
    if (lead.length == 0 || bytes.size() - i < static_cast<std::size_t>(lead.length)) {
      return std::nullopt;
    }
    const std::uint8_t first = ByteAt(bytes, i);
    std::uint32_t cp = lead.length == 1 ? first : first & (0x7Fu >> lead.length);
    for (int k = 1; k < lead.length; ++k) {
      const std::uint8_t b = ByteAt(bytes, i + static_cast<std::size_t>(k));
      const std::uint8_t lo = k == 1 ? lead.second_min : 0x80;
      const std::uint8_t hi = k == 1 ? lead.second_max : 0xBF;
      if (b < lo || b > hi) return std::nullopt;
      cp = (cp << 6) | (b & 0x3Fu);
    }
    AppendCodePoint(out, cp);
    i += static_cast<std::size_t>(lead.length);
  }
  return out;
}

std::u16string NormalizeLineBreaks(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r') {
      out += u"\r\n";
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (c == u'\n') {
      out += u"\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

bool HasUnpairedSurrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<NotesForPad> NotesFileForPad(std::string_view bytes, const AnsiCodePage& ansi) {
  const ByteOrderMark mark = DetectByteOrderMark(bytes);
  const std::string_view body = bytes.substr(mark.length);
  NotesForPad pad{u"", true};
  switch (mark.encoding) {
    case NotesEncoding::kUtf16Le:
    case NotesEncoding::kUtf16Be:
      pad.text = DecodeUtf16(body, mark.encoding == NotesEncoding::kUtf16Be);
      pad.exact = body.size() % 2 == 0 && !HasUnpairedSurrogate(pad.text);
      break;
    case NotesEncoding::kUtf8: {
      std::optional<std::u16string> text = DecodeUtf8(body);
      if (!text) return std::nullopt;
      pad.text = std::move(*text);
      break;
    }
    case NotesEncoding::kAnsi: {
      std::optional<std::u16string> text = ansi.decode_strict(body);
      if (text && ansi.encode(*text) == body) {
        pad.text = std::move(*text);
      } else if ((text = DecodeUtf8(body))) {
        pad.text = std::move(*text);
        pad.exact = false;
      } else {
        pad.text = ansi.decode(body);
        pad.exact = false;
      }
      break;
    }
  }
  for (char16_t& c : pad.text) {
    if (c == u'\0') {
      c = u' ';
      pad.exact = false;
    }
  }
  pad.text = NormalizeLineBreaks(pad.text);
  return pad;
}

std::string EncodeUtf8WithBom(std::u16string_view text) {
  std::string out = "\xEF\xBB\xBF";
  out.reserve(3 + text.size() * 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const std::uint32_t high = c - 0xD800u;
      const std::uint32_t low = text[i + 1] - 0xDC00u;
      AppendUtf8(out, 0x10000 + (high << 10) + low);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

}  // namespace core
