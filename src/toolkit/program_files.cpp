#include "toolkit/program_files.h"

#include <windows.h>

#include "core/program_path.h"
#include "toolkit/text.h"

namespace tk {

std::wstring ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    // A full buffer may mean a cut path (long path names): try again with more room.
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring ProgramDirectory() { return ToWide(core::ProgramDirectory(ToU16(ExecutablePath()))); }

}  // namespace tk
