# What `cmake --install` puts in place (scrpack's own files are installed by
# tools/scrpack), and the packages CPack makes of it:
#   bin/scrpack
#   share/scrpack/stub.exe                      where an installed scrpack finds its stub
#   share/scrpack/stub-en.exe, -de, -fr         and the stubs of the other languages
#   share/man/man1/scrpack.1.gz
#   share/bash-completion/completions/scrpack
#   share/doc/scrpack/README.md, copyright, changelog.gz
# and, only as the component "windows", for the zip: scrpack.exe with the four
# stubs beside it (where it looks) and the documents for Windows (README.txt,
# scrpack.txt, LICENSE.txt, CHANGELOG.txt, all CR LF), in one folder.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/release.cmake)

# The documents as Debian wants them: the licence in its machine-readable
# copyright format, the changes as a Debian changelog (changelog.gz, which
# Debian's tools parse).
file(STRINGS ${CMAKE_SOURCE_DIR}/LICENSE license_lines)
list(GET license_lines 0 license_title)
if(NOT license_title STREQUAL "MIT License")
  message(FATAL_ERROR "LICENSE: copyright's License field is written for the MIT (Expat) licence only")
endif()
file(READ ${CMAKE_SOURCE_DIR}/LICENSE license_text)
string(FIND "${license_text}" "${SCRPACK_COPYRIGHT}" at)
string(LENGTH "${SCRPACK_COPYRIGHT}" length)
math(EXPR at "${at} + ${length}")
string(SUBSTRING "${license_text}" ${at} -1 license_text)
string(STRIP "${license_text}" license_text)
string(REGEX REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REGEX REPLACE "\n" "\n " license_text "${license_text}")
set(SCRPACK_MAINTAINER "scrpack maintainers <scrpack@example.org>")
set(debian_docs ${CMAKE_BINARY_DIR}/debian-docs)
file(CONFIGURE OUTPUT ${debian_docs}/copyright CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: scrpack
Upstream-Contact: ${SCRPACK_MAINTAINER}

Files: *
Copyright: ${SCRPACK_COPYRIGHT_HOLDERS}
License: Expat
 ${license_text}
")
add_custom_command(OUTPUT ${debian_docs}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -DACTION=debian-changelog -DIN=${CMAKE_SOURCE_DIR}/CHANGELOG.md
          -DOUT=${debian_docs}/changelog.gz -DPACKAGE=scrpack -DMAINTAINER=${SCRPACK_MAINTAINER}
          -DFALLBACK_DATE=${SCRPACK_RELEASE_DATE} -P ${CMAKE_CURRENT_LIST_DIR}/doc_file.cmake
  DEPENDS ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_LIST_DIR}/doc_file.cmake
  COMMENT "Writing CHANGELOG.md as a Debian changelog"
  VERBATIM)
add_custom_target(debian_docs ALL DEPENDS ${debian_docs}/changelog.gz)

install(FILES ${STUB_EXES} DESTINATION ${CMAKE_INSTALL_DATADIR}/scrpack)
install(FILES README.md ${debian_docs}/copyright ${debian_docs}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/scrpack)
install(FILES ${CROSS_BUILD_DIR}/scrpack.exe ${STUB_EXES} DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)

# `cmake --build build --target package`: a Debian package of the above and a
# zip of the Windows build (cmake/cpack_windows.cmake chooses its files).
# cmake/cpack_finish.cmake strips scrpack as Debian does and adds lintian's
# overrides to the .deb. Both packages are the same bytes from every
# packaging of one commit: every file is dated SOURCE_DATE_EPOCH (the
# environment's at packaging time, else SCRPACK_SOURCE_DATE_EPOCH from
# configuring; see cmake/cpack_windows.cmake).
set(CPACK_PACKAGE_NAME scrpack)
set(CPACK_PACKAGE_VENDOR "the screensaver-installer authors")
set(CPACK_PACKAGE_CONTACT "${SCRPACK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SCRPACK_MAINTAINER}")
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
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/cpack_finish.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_SCRPACK_SOURCE_DATE_EPOCH ${SCRPACK_SOURCE_DATE_EPOCH})
set(CPACK_SCRPACK_STRIP ${CMAKE_STRIP})
set(CPACK_SCRPACK_LINTIAN_OVERRIDES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides)
include(CPack)
