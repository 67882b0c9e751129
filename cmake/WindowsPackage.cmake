# The Windows release package, iidc-VERSION-win32.zip or -win64.zip (cpack in
# the build tree; scripts/windows-package makes both):
#   bin/      iidc.dll, iidc_vcam.dll (the virtual cameras), iidc.exe (the tool)
#   lib/      iidc.lib (Microsoft's linker), libiidc.dll.a (mingw-w64), iidc.def
#   include/  iidc.h
#   README.txt
# The three programs carry a version resource with the project's version.

# iidc_version_resource(<target> <file name> <description>)
function(iidc_version_resource target file description)
  set(IIDC_RC_FILE ${file})
  set(IIDC_RC_DESCRIPTION ${description})
  if(file MATCHES "\\.dll$")
    set(IIDC_RC_TYPE VFT_DLL)
  else()
    set(IIDC_RC_TYPE VFT_APP)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in ${PROJECT_BINARY_DIR}/version/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/version/${target}.rc)
endfunction()

iidc_version_resource(iidc iidc.dll "Access library for IIDC 1394 digital cameras")
iidc_version_resource(iidc_vcam iidc_vcam.dll "Virtual IIDC cameras as video input devices")
iidc_version_resource(iidc_cli iidc.exe "iidc: list, configure and capture from IIDC 1394 cameras")

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(IIDC_PACKAGE_ARCH win32)
else()
  set(IIDC_PACKAGE_ARCH win64)
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/README.txt.in ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)

# The package's own component, so that nothing else the install knows (the
# CMake and pkg-config files, the Python package) goes into the zip.
install(TARGETS iidc RUNTIME DESTINATION bin COMPONENT windows_package ARCHIVE DESTINATION lib COMPONENT windows_package)
install(TARGETS iidc_vcam iidc_cli RUNTIME DESTINATION bin COMPONENT windows_package)
install(FILES ${IIDC_IMPORT_LIB} ${IIDC_EXPORTS_DEF} DESTINATION lib COMPONENT windows_package)
install(FILES ${PROJECT_SOURCE_DIR}/include/iidc.h DESTINATION include COMPONENT windows_package)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION . COMPONENT windows_package)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME iidc)
set(CPACK_PACKAGE_FILE_NAME iidc-${PROJECT_VERSION}-${IIDC_PACKAGE_ARCH})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL windows_package)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_STRIP_FILES ON)
include(CPack)
