# iidc_host_headers(<target> <INTERFACE|PUBLIC|PRIVATE> <folder>...): the cross
# build takes header-only libraries (nlohmann/, CLI/, fmt/) from the build
# machine's /usr/include, through a folder of links to just those folders, so
# that no other header of the build machine can stand in for the target's own.
function(iidc_host_headers target scope)
  set(_dir ${CMAKE_CURRENT_BINARY_DIR}/host-include)
  file(MAKE_DIRECTORY ${_dir})
  foreach(_folder ${ARGN})
    if(NOT IS_DIRECTORY /usr/include/${_folder})
      message(FATAL_ERROR "/usr/include/${_folder} not found: scripts/install-deps installs the package that has it")
    endif()
    file(CREATE_LINK /usr/include/${_folder} ${_dir}/${_folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} SYSTEM ${scope} ${_dir})
endfunction()
