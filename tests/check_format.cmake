# Fails when a C++ file under src/, tests/ or tools/ is not in the form .clang-format gives it.
#   cmake -DCLANG_FORMAT=<clang-format-14> -DSOURCE_DIR=<repository> -P check_format.cmake
if(NOT CLANG_FORMAT)
  message(FATAL_ERROR "clang-format-14 was not found when the tree was configured (scripts/setup installs it)")
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false
     ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h
     ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h
     ${SOURCE_DIR}/tools/*.cpp ${SOURCE_DIR}/tools/*.h)
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "no C++ files found under ${SOURCE_DIR}")
endif()
execute_process(COMMAND ${CLANG_FORMAT} --style=file --dry-run -Werror ${files}
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "files above are not formatted: run clang-format-14 -i on them")
endif()
message(STATUS "${count} files formatted")
