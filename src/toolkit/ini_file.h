#pragma once
// Settings in a private-profile (.ini) file. The object holds the file's path and nothing else:
// every read and write goes to the file at once through the system's private-profile functions.
#include <string>

namespace tk {

class TIniFile {
 public:
  // Touches no file.
  explicit TIniFile(std::wstring file_name);
  // Asks the system to write out any copy of the file that it keeps; the result is not looked at.
  ~TIniFile();
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;

  // The key's value read as an integer: true when it is not zero. A missing file, section or key,
  // an empty value or text that is no integer gives `def`. Names match without regard to case.
  bool ReadBool(const std::wstring& section, const std::wstring& key, bool def) const;

  // Writes "1" or "0" at once, creating the file, the section or the key as needed and keeping
  // everything else. Throws tk::Exception "Unable to write to <path>" when the write fails.
  void WriteBool(const std::wstring& section, const std::wstring& key, bool value);

 private:
  std::wstring file_name_;
};

}  // namespace tk
