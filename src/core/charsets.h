#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace core {

// Code pages the core decodes without the platform's help.
constexpr int kCodePageLatin1 = 28591;
constexpr int kCodePageUtf16Le = 1200;

// The "charset" parameter of a Content-Type header value. Parameter names
// match without regard to case, a quoted value comes back unquoted and the
// first charset parameter counts. Nothing when there is no such parameter.
std::optional<std::string> CharsetOfContentType(std::string_view content_type);

// The Windows code page for a character-set name, matched without regard to
// case; 0 for a name that carries none. Callers decode ISO-8859-1 then.
int CodePageOfCharset(std::string_view name);

// Byte n becomes U+00nn.
std::u16string DecodeLatin1(std::string_view bytes);

// Two bytes per code unit, taken as they are: a byte-order mark stays,
// unpaired surrogates pass through, a last odd byte is dropped.
std::u16string DecodeUtf16(std::string_view bytes, bool big_endian);

}  // namespace core
