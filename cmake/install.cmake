# What `cmake --install` puts in place (scrpack's own files are installed by
# tools/scrpack), and the packages CPack makes of it:
#   bin/scrpack
#   share/scrpack/stub.exe                      where an installed scrpack finds its stub
#   share/man/man1/scrpack.1
#   share/bash-completion/completions/scrpack
#   share/doc/scrpack/README.md, LICENSE, CHANGELOG.md
# and, only as the component "windows", for the zip: scrpack.exe with stub.exe
# beside it (where it looks) and the documents, all in one folder.
include(GNUInstallDirs)
install(FILES ${STUB_EXE} DESTINATION ${CMAKE_INSTALL_DATADIR}/scrpack)
install(FILES README.md LICENSE CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/scrpack)
install(FILES ${CROSS_BUILD_DIR}/scrpack.exe ${STUB_EXE} README.md LICENSE CHANGELOG.md
        DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)

# `cmake --build build --target package`: a Debian package of the above and a
# zip of the Windows build (cmake/cpack_windows.cmake chooses its files).
set(CPACK_PACKAGE_NAME scrpack)
set(CPACK_PACKAGE_VENDOR "the screensaver-installer authors")
set(CPACK_PACKAGE_CONTACT "the screensaver-installer authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pack, list, verify and extract screen saver installers")
set(CPACK_PACKAGE_DESCRIPTION
    "scrpack writes self-contained installers for one Windows screen saver (a small
32-bit stub, included, with a package of the screen saver, its data file and
extra files), and reads such installers without running them: it lists what
they hold and where they would install it, verifies them, and extracts their
files, damaged downloads included.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB ZIP)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_windows.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES bin/scrpack)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
