# iidc.dll: export names from the module-definition file, the Windows
# libraries the library calls, and the plain DLL name applications expect.

# The library's own definitions carry no dllimport; the .def file decides
# what is exported. NOMINMAX keeps windows.h, which the public header
# includes, from defining min and max macros.
target_compile_definitions(iidc PRIVATE IIDC_BUILDING NOMINMAX)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_iidc_def ${PROJECT_SOURCE_DIR}/src/api/iidc.def)
else()
  # 64-bit Windows has one calling convention and no name decoration: the
  # same list with plain names (the alias keeps its "= target" part).
  file(READ ${PROJECT_SOURCE_DIR}/src/api/iidc.def _iidc_def_text)
  string(REGEX REPLACE "[ ]*;[^\n]*\n" "" _iidc_def_text "${_iidc_def_text}")
  string(REGEX REPLACE "[ ]*==[^\n]*" "" _iidc_def_text "${_iidc_def_text}")
  string(REGEX REPLACE "@[0-9]+" "" _iidc_def_text "${_iidc_def_text}")
  string(PREPEND _iidc_def_text "; Made from src/api/iidc.def: the plain names of 64-bit Windows.\n")
  set(_iidc_def ${PROJECT_BINARY_DIR}/iidc64.def)
  file(GENERATE OUTPUT ${_iidc_def} CONTENT "${_iidc_def_text}")
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/src/api/iidc.def)
endif()
target_sources(iidc PRIVATE ${_iidc_def})

target_link_libraries(iidc PRIVATE strmiids ole32 oleaut32 uuid gdi32 user32)

# iidc.dll and its import library libiidc.dll.a, without a version suffix.
set_target_properties(iidc PROPERTIES PREFIX "" IMPORT_PREFIX "lib" RUNTIME_OUTPUT_NAME iidc)
