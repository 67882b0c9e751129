# iidc.dll: export names from the module-definition file, the Windows
# libraries the library calls, the plain DLL name applications expect, and
# the import library for Microsoft's linker.

# The library's own definitions carry no dllimport; the .def file decides
# what is exported. NOMINMAX keeps windows.h, which the public header
# includes, from defining min and max macros.
target_compile_definitions(iidc PRIVATE IIDC_BUILDING NOMINMAX)

file(READ ${PROJECT_SOURCE_DIR}/src/api/iidc.def _iidc_def_text)
string(REGEX REPLACE "[ ]*;[^\n]*\n" "" _iidc_def_text "${_iidc_def_text}")
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/api/iidc.def)
# The names the DLL exports, one a line: on 32-bit what follows "==".
string(REGEX REPLACE "[^\n]*== *" "  " _iidc_exports "${_iidc_def_text}")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_iidc_def ${PROJECT_SOURCE_DIR}/src/api/iidc.def)
  set(_iidc_machine x86)
else()
  # 64-bit Windows has one calling convention and no name decoration: the
  # same list with plain names (the alias keeps its "= target" part).
  string(REGEX REPLACE "[ ]*==[^\n]*" "" _iidc_def_text "${_iidc_def_text}")
  string(REGEX REPLACE "@[0-9]+" "" _iidc_def_text "${_iidc_def_text}")
  string(PREPEND _iidc_def_text "; Made from src/api/iidc.def: the plain names of 64-bit Windows.\n")
  set(_iidc_def ${PROJECT_BINARY_DIR}/iidc64.def)
  file(GENERATE OUTPUT ${_iidc_def} CONTENT "${_iidc_def_text}")
  string(REGEX REPLACE "@[0-9]+" "" _iidc_exports "${_iidc_exports}")
  string(REPLACE "  _iidc" "  iidc" _iidc_exports "${_iidc_exports}")
  set(_iidc_machine x64)
endif()
target_sources(iidc PRIVATE ${_iidc_def})

target_link_libraries(iidc PRIVATE strmiids ole32 oleaut32 uuid gdi32 user32)

# iidc.dll and its import library libiidc.dll.a, without a version suffix.
set_target_properties(iidc PROPERTIES PREFIX "" IMPORT_PREFIX "lib" RUNTIME_OUTPUT_NAME iidc)

# iidc.lib, the import library in the form Microsoft's linker reads, made by
# lld-link from the export names alone; the same list is iidc.def for those
# who make their own.
find_program(IIDC_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
set(IIDC_EXPORTS_DEF ${PROJECT_BINARY_DIR}/iidc.def)
set(IIDC_IMPORT_LIB ${PROJECT_BINARY_DIR}/iidc.lib)
file(GENERATE OUTPUT ${IIDC_EXPORTS_DEF} CONTENT
  "; The names iidc.dll exports, for making an import library.\nLIBRARY iidc.dll\n${_iidc_exports}")
add_custom_command(OUTPUT ${IIDC_IMPORT_LIB}
  COMMAND ${IIDC_LLD_LINK} /nologo /machine:${_iidc_machine} /def:${IIDC_EXPORTS_DEF} /out:${IIDC_IMPORT_LIB}
  DEPENDS ${IIDC_EXPORTS_DEF} VERBATIM)
add_custom_target(iidc_import_lib ALL DEPENDS ${IIDC_IMPORT_LIB})
