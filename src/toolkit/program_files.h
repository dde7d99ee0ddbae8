#pragma once
// Where the program keeps its two files: in the folder of its own executable. Each call forms
// the path afresh; the working directory, command line and environment play no part.
#include <string>

namespace tk {

// The executable's folder as the system reports its path, ending with its separator.
std::wstring ProgramDirectory();

// The settings file, "GoldCfg.ini" in the program directory.
std::wstring SettingsPath();

// The notes file, "qorla.txt" in the program directory.
std::wstring NotesPath();

}  // namespace tk
