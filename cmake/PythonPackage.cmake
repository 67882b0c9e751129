# The Python package (python/iidc) installs into IIDC_PYTHON_DIR (relative to
# the prefix, or absolute) with the installed library beside its modules,
# where the package looks for it: a relative link on Linux, a copy of the DLL
# on Windows. An empty IIDC_PYTHON_DIR leaves the package out.
set(IIDC_PYTHON_DIR "lib/python3/dist-packages" CACHE STRING
  "Where the install puts the Python package: a site directory of the interpreter that uses it")
if(NOT IIDC_PYTHON_DIR)
  return()
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/iidc DESTINATION ${IIDC_PYTHON_DIR} COMPONENT python
  FILES_MATCHING PATTERN "*.py" PATTERN "py.typed" PATTERN "__pycache__" EXCLUDE)
if(WIN32)
  install(FILES $<TARGET_FILE:iidc> DESTINATION ${IIDC_PYTHON_DIR}/iidc COMPONENT python)
  return()
endif()
# Paths are resolved at install time, so that --prefix and DESTDIR count.
install(CODE "
  function(iidc_installed_path var path)
    if(NOT IS_ABSOLUTE \"\${path}\")
      set(path \"\${CMAKE_INSTALL_PREFIX}/\${path}\")
    endif()
    # A relative prefix counts from where the install runs, as for every file.
    cmake_path(ABSOLUTE_PATH path BASE_DIRECTORY \"\$ENV{PWD}\" NORMALIZE)
    set(\${var} \"\$ENV{DESTDIR}\${path}\" PARENT_SCOPE)
  endfunction()
  iidc_installed_path(_package \"${IIDC_PYTHON_DIR}/iidc\")
  iidc_installed_path(_library \"${CMAKE_INSTALL_LIBDIR}/$<TARGET_SONAME_FILE_NAME:iidc>\")
  file(RELATIVE_PATH _link \"\${_package}\" \"\${_library}\")
  message(STATUS \"Linking: \${_package}/$<TARGET_SONAME_FILE_NAME:iidc> -> \${_link}\")
  file(CREATE_LINK \"\${_link}\" \"\${_package}/$<TARGET_SONAME_FILE_NAME:iidc>\" SYMBOLIC)
" COMPONENT python)
