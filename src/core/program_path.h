#pragma once

#include <functional>
#include <string>
#include <string_view>

// What the program takes from its executable's path: its title and its folder.
namespace core {

// The executable's file name without folder and without anything from its
// first '.' on: "C:\\Apps\\GoldBar.v5.exe" gives "GoldBar".
std::u16string ApplicationTitleFromPath(std::u16string_view exe_path);

// Lower-cases everything after the first code unit through `lower`, which
// stands for the platform's own lower-case mapping.
using LowerCaseFn = std::function<std::u16string(std::u16string_view)>;
std::u16string LowerCaseAfterFirst(std::u16string_view title, const LowerCaseFn& lower);

// The path up to and including its last '\\' or ':'; empty when it has
// neither. File names are appended to it directly.
std::u16string ProgramDirectory(std::u16string_view exe_path);

}  // namespace core
