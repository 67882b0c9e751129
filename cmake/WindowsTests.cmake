# Windows: the behaviour suite (tests/behaviour), which sees the library
# through its public header only, built for running against the system's
# DirectShow (scripts/wine-test runs it under Wine). GoogleTest is built from
# the sources Debian ships in /usr/src/googletest; the programs are built by
# name and run by the script, neither built with the library nor registered
# with ctest.
find_path(IIDC_GOOGLETEST_SOURCE CMakeLists.txt PATHS /usr/src/googletest NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT IIDC_GOOGLETEST_SOURCE)
  message(FATAL_ERROR "GoogleTest sources not found in /usr/src/googletest (Debian's googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${IIDC_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# iidc_add_test(name sources... [LIBRARIES lib...] [LABELS label...]): as on
# Linux, one program linked against the library, here always iidc.dll; the
# libraries and labels mean nothing here.
function(iidc_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBRARIES;LABELS")
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE iidc gtest gtest_main user32 gdi32)
  target_compile_definitions(${name} PRIVATE NOMINMAX)
  iidc_warnings(${name})
endfunction()

add_subdirectory(tests/behaviour ${PROJECT_BINARY_DIR}/tests/behaviour EXCLUDE_FROM_ALL)
