#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/charsets.h"  // DecodeUtf16

// Byte-level rules of the notes file. Raw file bytes travel as
// std::string / std::string_view; the ANSI code page conversion stays with
// the platform code.
namespace core {

enum class NotesEncoding { kAnsi, kUtf16Le, kUtf16Be, kUtf8 };

struct ByteOrderMark {
  NotesEncoding encoding;
  std::size_t length;  // bytes to skip before decoding; 0 for ANSI
};

// FF FE, FE FF and EF BB BF select UTF-16 LE, UTF-16 BE and UTF-8; anything
// else, a cut-off mark included, is ANSI with nothing skipped.
ByteOrderMark DetectByteOrderMark(std::string_view bytes);

// Strict UTF-8: any ill-formed sequence (stray continuation, truncation,
// overlong form, encoded surrogate, code point above U+10FFFF) fails the
// whole decoding. No replacement characters are made.
std::optional<std::u16string> DecodeUtf8(std::string_view bytes);

// Every line break becomes CR LF: CR LF stays, a lone LF or lone CR is
// widened.
std::u16string NormalizeLineBreaks(std::u16string_view text);

// The system's ANSI code page, as the notes file needs it from the platform.
struct AnsiCodePage {
  // Nothing when some bytes have no character in the code page.
  std::function<std::optional<std::u16string>(std::string_view)> decode_strict;
  // Whatever the platform makes of any bytes.
  std::function<std::u16string(std::string_view)> decode;
  std::function<std::string(std::u16string_view)> encode;
};

// What the notes pad shows of a notes file.
struct NotesForPad {
  std::u16string text;  // line breaks CR LF, no NUL
  // The file's bytes follow back from `text` in the file's own encoding, line breaks aside.
  // When they do not, saving the text over the file would lose some of it.
  bool exact;
};

// The load rule: the encoding is picked by the file's mark, what follows the mark is decoded
// (ANSI through `ansi`), and the line breaks are normalised. ANSI bytes that the code page cannot decode and encode
// back unchanged are shown as UTF-8 when they are strict UTF-8 (what editors write without a mark), else as the
// platform decodes them; a UTF-16 file with a last odd byte or an unpaired surrogate, and any text holding NUL (which
// the pad cannot hold; shown as a blank), are not exact either. No text only when a file marked as UTF-8 is not valid
// UTF-8.
std::optional<NotesForPad> NotesFileForPad(std::string_view bytes, const AnsiCodePage& ansi);

// UTF-8 with EF BB BF in front. An unpaired surrogate cannot be encoded and
// is written as U+FFFD.
std::string EncodeUtf8WithBom(std::u16string_view text);

}  // namespace core
