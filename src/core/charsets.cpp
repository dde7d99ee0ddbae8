#include "core/charsets.h"
#include "core/ascii.h"

#include <cstddef>

namespace core {
namespace {

using ascii::EqualsNoCase;
using ascii::IsBlank;
using ascii::Trim;

struct NamedCodePage {
  std::string_view name;
  int code_page;
};

// Only the names that carry a code page; every other name, registered or
// not, decodes as ISO-8859-1. The ASCII names deliberately map to 1252.
constexpr NamedCodePage kNamedCodePages[] = {
    {"IBM037", 37},
    {"IBM437", 437},
    {"IBM500", 500},
    {"ASMO-708", 708},
    {"IBM775", 775},
    {"IBM850", 850},
    {"IBM852", 852},
    {"cp852", 852},
    {"IBM855", 855},
    {"IBM857", 857},
    {"IBM00858", 858},
    {"IBM860", 860},
    {"IBM861", 861},
    {"IBM863", 863},
    {"IBM864", 864},
    {"IBM865", 865},
    {"IBM866", 866},
    {"cp866", 866},
    {"IBM869", 869},
    {"IBM870", 870},
    {"csShiftJIS", 932},
    {"Shift_JIS", 932},
    {"MS_Kanji", 932},
    {"csWindows31J", 932},
    {"GB_2312-80", 936},
    {"iso-ir-58", 936},
    {"chinese", 936},
    {"csISO58GB231280", 936},
    {"GBK", 936},
    {"csGB2312", 936},
    {"GB2312", 936},
    {"KS_C_5601-1987", 949},
    {"iso-ir-149", 949},
    {"KS_C_5601-1989", 949},
    {"KSC_5601", 949},
    {"korean", 949},
    {"csKSC56011987", 949},
    {"csEUCKR", 949},
    {"EUC-KR", 949},
    {"csBig5", 950},
    {"Big5", 950},
    {"IBM1026", 1026},
    {"IBM01140", 1140},
    {"IBM01141", 1141},
    {"IBM01142", 1142},
    {"IBM01143", 1143},
    {"IBM01144", 1144},
    {"IBM01145", 1145},
    {"IBM01146", 1146},
    {"IBM01147", 1147},
    {"IBM01148", 1148},
    {"IBM01149", 1149},
    {"UTF-16LE", 1200},
    {"UTF-16", 1200},
    {"windows-1250", 1250},
    {"windows-1251", 1251},
    {"US-ASCII", 1252},
    {"ANSI_X3.4-1968", 1252},
    {"iso-ir-6", 1252},
    {"ANSI_X3.4-1986", 1252},
    {"ISO_646.irv:1991", 1252},
    {"ASCII", 1252},
    {"ISO646-US", 1252},
    {"us", 1252},
    {"IBM367", 1252},
    {"cp367", 1252},
    {"csASCII", 1252},
    {"windows-1252", 1252},
    {"windows-1253", 1253},
    {"ISO-8859-9", 1254},
    {"ISO_8859-9:1989", 1254},
    {"iso-ir-148", 1254},
    {"ISO_8859-9", 1254},
    {"latin5", 1254},
    {"l5", 1254},
    {"csISOLatin5", 1254},
    {"windows-1254", 1254},
    {"windows-1255", 1255},
    {"windows-1256", 1256},
    {"windows-1257", 1257},
    {"windows-1258", 1258},
    {"macintosh", 10000},
    {"UTF-32", 12000},
    {"UTF-32LE", 12000},
    {"UTF-32BE", 12001},
    {"csKOI8R", 20866},
    {"KOI8-R", 20866},
    {"ISO-8859-1", 28591},
    {"ISO_8859-1:1987", 28591},
    {"iso-ir-100", 28591},
    {"ISO_8859-1", 28591},
    {"latin1", 28591},
    {"l1", 28591},
    {"IBM819", 28591},
    {"CP819", 28591},
    {"csISOLatin1", 28591},
    {"ISO-8859-2", 28592},
    {"ISO_8859-2:1987", 28592},
    {"iso-ir-101", 28592},
    {"ISO_8859-2", 28592},
    {"latin2", 28592},
    {"l2", 28592},
    {"csISOLatin2", 28592},
    {"ISO-8859-3", 28593},
    {"ISO-8859-4", 28594},
    {"ISO_8859-4:1988", 28594},
    {"iso-ir-110", 28594},
    {"ISO_8859-4", 28594},
    {"latin4", 28594},
    {"l4", 28594},
    {"csISOLatin4", 28594},
    {"iso-ir-111", 28594},
    {"ISO-8859-5", 28595},
    {"ISO_8859-5:1988", 28595},
    {"iso-ir-144", 28595},
    {"ISO_8859-5", 28595},
    {"cyrillic", 28595},
    {"csISOLatinCyrillic", 28595},
    {"ISO-8859-6", 28596},
    {"ISO_8859-6:1987", 28596},
    {"iso-ir-127", 28596},
    {"ISO_8859-6", 28596},
    {"ECMA-114", 28596},
    {"arabic", 28596},
    {"csISOLatinArabic", 28596},
    {"ISO-8859-7", 28597},
    {"ISO_8859-7:1987", 28597},
    {"iso-ir-126", 28597},
    {"ISO_8859-7", 28597},
    {"ELOT_928", 28597},
    {"ECMA-118", 28597},
    {"greek", 28597},
    {"greek8", 28597},
    {"csISOLatinGreek", 28597},
    {"ISO-8859-8", 28598},
    {"ISO_8859-8:1988", 28598},
    {"iso-ir-138", 28598},
    {"ISO_8859-8", 28598},
    {"hebrew", 28598},
    {"csISOLatinHebrew", 28598},
    {"ISO-8859-8-I", 38598},
    {"ISO-2022-JP", 50220},
    {"csISO2022JP", 50221},
    {"csISO2022KR", 50225},
    {"ISO-2022-KR", 50225},
    {"EUC-JP", 51932},
    {"Extended_UNIX_Code_Packed_Format_for_Japanese", 51932},
    {"csEUCPkdFmtJapanese", 51932},
    {"HZ-GB-2312", 52936},
    {"UTF-7", 65000},
    {"UNICODE-1-1-UTF-7", 65000},
    {"csUnicode11UTF7", 65000},
    {"UTF-8", 65001},
};

// Walks "type/subtype; name=value; name="quoted value"" one parameter at a
// time. A ';' inside quotes belongs to the value.
class ParameterReader {
 public:
  explicit ParameterReader(std::string_view text) : text_(text) { SkipPast(';'); }

  bool Next(std::string_view& name, std::string& value) {
    while (pos_ < text_.size()) {
      const std::size_t start = pos_;
      while (pos_ < text_.size() && text_[pos_] != '=' && text_[pos_] != ';') ++pos_;
      name = Trim(text_.substr(start, pos_ - start));
      if (pos_ >= text_.size() || text_[pos_] == ';') {
        if (pos_ < text_.size()) ++pos_;
        continue;  // a parameter without '=' has no value to offer
      }
      ++pos_;  // '='
      value = ReadValue();
      SkipPast(';');
      return true;
    }
    return false;
  }

 private:
  std::string ReadValue() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '"') {
      ++pos_;
      std::string value;
      while (pos_ < text_.size() && text_[pos_] != '"') {
        if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ++pos_;
        value += text_[pos_++];
      }
      if (pos_ < text_.size()) ++pos_;  // closing quote
      return value;
    }
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != ';') ++pos_;
    return std::string(Trim(text_.substr(start, pos_ - start)));
  }

  void SkipPast(char c) {
    while (pos_ < text_.size() && text_[pos_] != c) ++pos_;
    if (pos_ < text_.size()) ++pos_;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<std::string> CharsetOfContentType(std::string_view content_type) {
  ParameterReader reader(content_type);
  std::string_view name;
  std::string value;
  while (reader.Next(name, value)) {
    if (EqualsNoCase(name, "charset")) return value;
  }
  return std::nullopt;
}

int CodePageOfCharset(std::string_view name) {
  for (const NamedCodePage& entry : kNamedCodePages) {
    if (EqualsNoCase(entry.name, name)) return entry.code_page;
  }
  return 0;
}

std::u16string DecodeLatin1(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char b : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(b));
  return text;
}

std::u16string DecodeUtf16(std::string_view bytes, bool big_endian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned first = static_cast<unsigned char>(bytes[i]);
    const unsigned second = static_cast<unsigned char>(bytes[i + 1]);
    text += static_cast<char16_t>(big_endian ? (first << 8) | second : (second << 8) | first);
  }
  return text;
}

}  // namespace core
