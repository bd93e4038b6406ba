# What an artist downloads, from the Windows build: the module file with its version information
# and the release package, Tarrow_plus-<version>-win64.zip, made by CPack (`--target package`).
if(WIN32 AND TARGET Tarrow_plus)
  # Version information, from project(VERSION).
  foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
      set(TARROW_VERSION_${part} 0)
    else()
      set(TARROW_VERSION_${part} ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  set(TARROW_VERSION_COMMAS "${TARROW_VERSION_MAJOR},${TARROW_VERSION_MINOR},${TARROW_VERSION_PATCH},${TARROW_VERSION_TWEAK}")
  set(TARROW_VERSION_DOTS "${TARROW_VERSION_MAJOR}.${TARROW_VERSION_MINOR}.${TARROW_VERSION_PATCH}.${TARROW_VERSION_TWEAK}")
  set(TARROW_COPYRIGHT_YEAR 2026)
  enable_language(RC)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/Tarrow_plus.rc.in ${CMAKE_BINARY_DIR}/Tarrow_plus.rc @ONLY)
  target_sources(Tarrow_plus PRIVATE ${CMAKE_BINARY_DIR}/Tarrow_plus.rc)

  # The package: the module, the guides with their pictures, the licence and the changelog.
  install(TARGETS Tarrow_plus LIBRARY DESTINATION . RUNTIME DESTINATION .)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/CHANGELOG.md
                ${CMAKE_SOURCE_DIR}/docs/guide.en.md ${CMAKE_SOURCE_DIR}/docs/guide.ja.md
          DESTINATION .)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/images DESTINATION .)

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME Tarrow_plus)
  set(CPACK_PACKAGE_VENDOR "the Tarrow_plus authors")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(TARROW_PACKAGE_NAME "Tarrow_plus-${PROJECT_VERSION}-win64")
  set(CPACK_PACKAGE_FILE_NAME ${TARROW_PACKAGE_NAME})
  set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_SOURCE_GENERATOR "")
  include(CPack)
endif()
