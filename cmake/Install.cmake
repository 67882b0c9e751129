# Installs the library with its header, a CMake package (find_package(iidc))
# and a pkg-config file. The install components are the parts the Debian
# packages split (scripts/debian-packages): runtime (the shared library),
# development (what a build against it needs), tools, gstreamer, python and
# virtual_bus.
include(CMakePackageConfigHelpers)
install(TARGETS iidc EXPORT iidcTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/include/iidc.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT development)
install(EXPORT iidcTargets NAMESPACE iidc:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iidc
  COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/iidcConfig.cmake.in
  ${PROJECT_BINARY_DIR}/iidcConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iidc)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/iidcConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/iidcConfig.cmake ${PROJECT_BINARY_DIR}/iidcConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iidc COMPONENT development)
configure_file(${PROJECT_SOURCE_DIR}/cmake/iidc.pc.in ${PROJECT_BINARY_DIR}/iidc.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/iidc.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)
