# Sanitizer builds instrument everything, the module included, so that the host loading the
# module finds one runtime.
if(TARROW_SANITIZE)
  add_compile_options(-fsanitize=${TARROW_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TARROW_SANITIZE})
endif()
