# Release packages of the deployment folder, made by cpack in a build folder (scripts/package
# makes both): a zip for Windows, a tarball for Linux, each named with the version and holding
# one folder: the updater, its unzip library and a short text for the publisher. cpack strips
# the programs; scripts/package builds them as a release.
set(RARIDUZE_RELEASE_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_TWEAK}")
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(rariduze_package_system windows-x64)
  set(rariduze_package_text ${CMAKE_CURRENT_LIST_DIR}/README-windows.txt)
else()
  set(CPACK_GENERATOR TGZ)
  set(rariduze_package_system linux-x86_64)
  set(rariduze_package_text ${CMAKE_CURRENT_LIST_DIR}/README-linux.txt)
endif()
set(CPACK_PACKAGE_NAME RARiduze)
set(CPACK_PACKAGE_VENDOR "Zentri PC")
set(CPACK_PACKAGE_VERSION ${RARIDUZE_RELEASE_VERSION})
set(CPACK_PACKAGE_FILE_NAME RARiduze-${RARIDUZE_RELEASE_VERSION}-${rariduze_package_system})
set(CPACK_STRIP_FILES ON)
# Only the package carries the text, which names this build's fixed settings; the deployment
# folder that cmake --install lays out beside the served application holds the programs alone.
if(RARIDUZE_PUBLISHER_KEY STREQUAL "")
  set(rariduze_key_text "none: this build installs whatever the update server offers")
else()
  set(rariduze_key_text "${RARIDUZE_PUBLISHER_KEY} (updates must be signed with it)")
endif()
configure_file(${rariduze_package_text} ${PROJECT_BINARY_DIR}/package/README.txt @ONLY)
set(rariduze_package_notes ${PROJECT_BINARY_DIR}/package/add-notes.cmake)
file(CONFIGURE OUTPUT ${rariduze_package_notes} @ONLY CONTENT [[
file(INSTALL "@PROJECT_BINARY_DIR@/package/README.txt" DESTINATION "${CMAKE_INSTALL_PREFIX}")
]])
set(CPACK_INSTALL_SCRIPTS ${rariduze_package_notes})
# A package holds what is built: cpack would otherwise build the whole tree, the suite
# included, before it packs the two programs.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
