# Shared part of the two MinGW toolchain files. The -posix compilers bring std::thread.
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

get_filename_component(_ticker_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(TICKER_DEPS_PREFIX "${_ticker_root}/build/deps/${MINGW_TRIPLET}")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET} ${TICKER_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
