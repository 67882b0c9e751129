# Shared part of the mingw-w64 cross toolchains; the including file sets
# IIDC_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR.
#
# The posix thread model gives the C++ runtime its full threading support;
# -static links libgcc, libstdc++ and winpthread into iidc.dll, so the DLL
# loads with nothing but Windows' own DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${IIDC_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${IIDC_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${IIDC_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${IIDC_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
