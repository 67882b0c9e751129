# Warnings are on everywhere and clean; IIDC_WERROR turns them into errors (CI).
function(iidc_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
      -Wcast-align -Wformat=2)
    # COM objects die through Release, never through delete of an interface
    # pointer; the Windows headers give interfaces public non-virtual
    # destructors, so the check only holds for the emulation's declarations.
    if(NOT WIN32)
      target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
    endif()
    if(IIDC_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()
