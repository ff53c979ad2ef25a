# TRX_SANITIZE=address,undefined or TRX_SANITIZE=thread instruments every target.
if(TRX_SANITIZE)
  add_compile_options(-fsanitize=${TRX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TRX_SANITIZE})
endif()
