#include "toolkit/exception.h"

#include <windows.h>

#include "core/error_text.h"
#include "toolkit/text.h"

namespace tk {

std::wstring SystemErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (!buffer) return std::wstring();
  std::wstring text(buffer, length);
  LocalFree(buffer);
  return ToWide(core::TrimSystemErrorText(ToU16(text)));
}

}  // namespace tk
