# Windows: the virtual cameras as a COM in-process server, iidc_vcam.dll,
# registered with regsvr32 as video input devices of the system's
# DirectShow. It holds the camera model, the capture filter with the
# driver face it derives from (drivers/face) and the DirectShow base
# pieces, and links its runtime statically (the toolchain's -static), so it
# loads alone.

file(GLOB_RECURSE _model CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../model/*.cpp)
file(GLOB _filter CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../filter/*.cpp
  ${PROJECT_SOURCE_DIR}/drivers/face/*.cpp)
# Device registration with the emulation, and the test controls, are the
# Linux build's.
list(FILTER _filter EXCLUDE REGEX "/(registration|test_support)\\.cpp$")
add_library(iidc_vcam SHARED ${_model} ${_filter} ${CMAKE_CURRENT_LIST_DIR}/server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/iidc_vcam.def $<TARGET_OBJECTS:iidc_platform_base>)
# The JSON parser is header-only: the build machine's copy.
include(${PROJECT_SOURCE_DIR}/cmake/HostHeaders.cmake)
iidc_host_headers(iidc_vcam PRIVATE nlohmann)
target_link_libraries(iidc_vcam PRIVATE iidc_internal strmiids ole32 oleaut32 uuid advapi32)
target_compile_definitions(iidc_vcam PRIVATE NOMINMAX)
# The four entry points are standard-call functions exported undecorated.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(iidc_vcam PRIVATE -Wl,--enable-stdcall-fixup)
endif()
set_target_properties(iidc_vcam PROPERTIES PREFIX "" IMPORT_PREFIX "lib")
iidc_warnings(iidc_vcam)
