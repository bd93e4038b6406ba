# Warnings for the project's own targets.
function(tarrow_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wcast-align -Woverloaded-virtual)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports false -Wrestrict hits inside std::string concatenation at -O3 (GCC bug 105329).
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(TARROW_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
