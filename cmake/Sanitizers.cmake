# IIDC_SANITIZE=address;undefined or IIDC_SANITIZE=thread builds everything
# (library, tests, tools) with those sanitizers.
if(IIDC_SANITIZE)
  string(REPLACE ";" "," _iidc_san "${IIDC_SANITIZE}")
  add_compile_options(-fsanitize=${_iidc_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_iidc_san})
endif()
