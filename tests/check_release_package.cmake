# Makes the release package with CPack as a release would, unpacks it into an empty folder and
# checks it as an artist gets it: exactly the module, the two guides and the pictures they show,
# the licence and the changelog; every link of the guides resolves inside the package; the module
# is the one built; and the Windows host loads the unpacked module and runs an example with it.
#
# cmake -DCPACK=... -DBUILD_DIR=... -DSOURCE_DIR=... -DPACKAGE=<file name without .zip>
#       -DMODULE=<built module> -DHOST=<tarrow-host.exe> -DEMULATOR=<wine> -P check_release_package.cmake
function(fail)
  string(JOIN " " text ${ARGN})
  message(FATAL_ERROR "release_package: ${text}")
endfunction()

set(zip ${BUILD_DIR}/package/${PACKAGE}.zip)
file(REMOVE ${zip})
execute_process(COMMAND ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT EXISTS ${zip})
  fail("cpack made no ${zip} (status ${result}):\n${out}${err}")
endif()

set(check ${BUILD_DIR}/release-package-check)
file(REMOVE_RECURSE ${check})
file(MAKE_DIRECTORY ${check}/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${check}/unpacked RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  fail("${zip} does not unpack")
endif()

# What must be there: the fixed files and each picture the guides show.
set(expected Tarrow_plus.p LICENSE CHANGELOG.md guide.en.md guide.ja.md)
foreach(guide guide.en.md guide.ja.md)
  file(READ ${SOURCE_DIR}/docs/${guide} text)
  string(REGEX MATCHALL "!\\[[^]]*\\]\\(images/[^) ]+\\)" shown "${text}")
  foreach(picture IN LISTS shown)
    string(REGEX REPLACE ".*\\((images/[^) ]+)\\)" "\\1" picture "${picture}")
    list(APPEND expected ${picture})
  endforeach()
endforeach()
list(REMOVE_DUPLICATES expected)
list(LENGTH expected packed_files)
if(packed_files LESS 8)
  fail("the guides show fewer than three pictures: ${expected}")
endif()
list(TRANSFORM expected PREPEND "${PACKAGE}/")
list(SORT expected)
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${check}/unpacked ${check}/unpacked/*)
list(SORT found)
if(NOT found STREQUAL expected)
  string(REPLACE ";" "\n  " found_lines "${found}")
  string(REPLACE ";" "\n  " expected_lines "${expected}")
  fail("the package holds\n  ${found_lines}\nexpected\n  ${expected_lines}")
endif()
set(root ${check}/unpacked/${PACKAGE})

# Inside the package, as it is unpacked, the guides' links resolve (to each other and pictures).
foreach(guide guide.en.md guide.ja.md)
  file(READ ${root}/${guide} text)
  string(REGEX MATCHALL "\\]\\([^) ]+\\)" links "${text}")
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^\\]\\(([^)# ]*).*" "\\1" target "${link}")
    if(target STREQUAL "" OR target MATCHES "^[A-Za-z][A-Za-z0-9+.-]*:")
      continue()
    endif()
    if(NOT EXISTS ${root}/${target})
      fail("${guide} links to ${target}, which the package does not hold")
    endif()
  endforeach()
endforeach()

file(SHA256 ${root}/Tarrow_plus.p packed)
file(SHA256 ${MODULE} built)
if(NOT packed STREQUAL built)
  fail("the packed Tarrow_plus.p is not the module built at ${MODULE}")
endif()

# The Windows host runs the bundled example with the unpacked module.
execute_process(COMMAND ${EMULATOR} ${HOST} run ${SOURCE_DIR}/examples/tail.json --module ${root}/Tarrow_plus.p
                        --out ${check}/out --quiet
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(GLOB objs ${check}/out/Tail_*.obj)
list(LENGTH objs count)
if(NOT result EQUAL 0 OR NOT count EQUAL 91 OR NOT out MATCHES "^91 frames of ")
  fail("the host did not run examples/tail.json with the unpacked module (status ${result}, ${count} OBJ files):\n${out}${err}")
endif()
file(REMOVE_RECURSE ${check})
message(STATUS "release_package: ${PACKAGE}.zip holds its ${packed_files} files and runs")
