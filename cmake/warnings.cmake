# Warnings for the project's own targets.
function(tarrow_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wcast-align -Woverloaded-virtual)
  if(TARROW_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
