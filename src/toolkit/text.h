#pragma once
// Wide strings on Windows are UTF-16, as the core's std::u16string is: the two convert 1:1.
#include <string>
#include <string_view>

namespace tk {

inline std::wstring ToWide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string ToU16(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

}  // namespace tk
