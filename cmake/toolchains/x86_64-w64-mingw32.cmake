# 64-bit Windows: cmake -DCMAKE_TOOLCHAIN_FILE=this file.
set(IIDC_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
