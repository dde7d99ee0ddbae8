#pragma once
// Where the running program lies. Each call asks the system afresh; the working directory,
// command line and environment play no part.
#include <string>

namespace tk {

// The executable's full path as the system reports it, however long.
std::wstring ExecutablePath();

// The executable's folder, ending with its separator: files beside the program are named
// by appending their names.
std::wstring ProgramDirectory();

}  // namespace tk
