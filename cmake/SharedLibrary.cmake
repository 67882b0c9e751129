# libiidc.so.0 and the library's objects for white-box programs.
#
# The objects are compiled with hidden names; the public header marks its
# functions visible, and the version script (src/api/libiidc.map) exports
# exactly those, under the version IIDC_0. The objects are those of
# iidc_objects and of the object libraries the colour converters' and the
# camera model's own tests link alone. Nothing else of the library (the
# Windows emulation, the virtual cameras, the library's globals) can clash
# with a name of the application, and the library promises only the header.
set(_iidc_parts iidc_objects iidc_convert iidc_vcam_model)
set_target_properties(${_iidc_parts} PROPERTIES
  POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(iidc_objects PUBLIC ${PROJECT_SOURCE_DIR}/include)
iidc_warnings(iidc_objects)

set(_iidc_map ${PROJECT_SOURCE_DIR}/src/api/libiidc.map)
target_link_libraries(iidc PRIVATE ${_iidc_parts})
target_link_options(iidc PRIVATE -Wl,--version-script=${_iidc_map})
# Every name the objects use is resolved when the library is linked (not
# under the sanitizers, whose runtime the program brings).
if(NOT IIDC_SANITIZE)
  target_link_options(iidc PRIVATE -Wl,--no-undefined)
endif()
set_target_properties(iidc PROPERTIES LINK_DEPENDS ${_iidc_map})

# iidc_whitebox: what a test, fuzz target or benchmark that needs the
# library's inner layers links instead of libiidc.so: every object of the
# library (the drivers register themselves from static initialisers, so none
# may be left out) and the inner layers' headers.
add_library(iidc_whitebox INTERFACE)
foreach(_part IN LISTS _iidc_parts)
  target_sources(iidc_whitebox INTERFACE $<TARGET_OBJECTS:${_part}>)
endforeach()
target_link_libraries(iidc_whitebox INTERFACE ${_iidc_parts} iidc_internal)
