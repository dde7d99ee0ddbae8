#include "toolkit/ini_file.h"

#include <windows.h>

#include "core/setting_value.h"
#include "toolkit/exception.h"
#include "toolkit/text.h"

namespace tk {
namespace {

constexpr DWORD kValueBufferChars = 2048;

}  // namespace

TIniFile::TIniFile(std::wstring file_name) : file_name_(std::move(file_name)) {}

TIniFile::~TIniFile() { WritePrivateProfileStringW(nullptr, nullptr, nullptr, file_name_.c_str()); }

bool TIniFile::ReadBool(const std::wstring& section, const std::wstring& key, bool def) const {
  wchar_t buffer[kValueBufferChars];
  const DWORD length =
      GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer, kValueBufferChars, file_name_.c_str());
  return core::IniValueToBool(ToU16(std::wstring_view(buffer, length)), def);
}

void TIniFile::WriteBool(const std::wstring& section, const std::wstring& key, bool value) {
  // Windows refuses to rewrite a read-only file, but a process that may ignore the attribute
  // (Wine run as root) would replace it; refuse it here so both behave alike.
  const DWORD attributes = GetFileAttributesW(file_name_.c_str());
  const bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only || !WritePrivateProfileStringW(section.c_str(), key.c_str(), value ? L"1" : L"0", file_name_.c_str())) {
    throw Exception(L"Unable to write to " + file_name_);
  }
}

}  // namespace tk
