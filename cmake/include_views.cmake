# Include roots that show a target only the source folders it may use: a folder in the build
# tree holding links to those folders. An #include across a forbidden edge then fails to
# compile, besides failing the dependency check (tests/check_dependencies.sh).
function(tarrow_include_view target scope)
  set(root ${CMAKE_BINARY_DIR}/include-views/${target})
  file(MAKE_DIRECTORY ${root})
  foreach(folder ${ARGN})
    if(NOT EXISTS ${root}/${folder})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
