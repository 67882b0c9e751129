# Installs the library with its header, a CMake package (find_package(iidc))
# and a pkg-config file.
include(CMakePackageConfigHelpers)
install(TARGETS iidc EXPORT iidcTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/iidc.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT iidcTargets NAMESPACE iidc:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iidc)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/iidcConfig.cmake.in
  ${PROJECT_BINARY_DIR}/iidcConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iidc)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/iidcConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/iidcConfig.cmake ${PROJECT_BINARY_DIR}/iidcConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/iidc)
configure_file(${PROJECT_SOURCE_DIR}/cmake/iidc.pc.in ${PROJECT_BINARY_DIR}/iidc.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/iidc.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
