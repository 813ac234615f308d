# Run by CPack for each package after it has put the package's files into
# place below CPACK_TEMPORARY_DIRECTORY and before it packs them
# (CPACK_PRE_BUILD_SCRIPTS). What Debian's packaging helpers would do for the
# .deb, and for both packages fixed modes, so that two packagings give the
# same bytes.
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
if(NOT IS_DIRECTORY "${stage}")
  message(FATAL_ERROR "cpack_finish.cmake: no staged files in '${stage}'")
endif()

if(CPACK_GENERATOR STREQUAL "DEB")
  set(usr "${stage}${CPACK_PACKAGING_INSTALL_PREFIX}")
  # As dh_strip: no symbols, and no compiler notes (.comment, .note) that
  # only say how it was built.
  execute_process(COMMAND ${CPACK_SCRPACK_STRIP} --remove-section=.comment --remove-section=.note
                          --strip-unneeded "${usr}/bin/scrpack"
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "strip ${usr}/bin/scrpack: ${result}")
  endif()
  # What lintian is told to accept, and why (see the file); a Debian matter
  # only, so not part of `cmake --install`.
  file(MAKE_DIRECTORY "${stage}/usr/share/lintian/overrides")
  file(COPY_FILE "${CPACK_SCRPACK_LINTIAN_OVERRIDES}" "${stage}/usr/share/lintian/overrides/scrpack")
endif()

# Modes as a package has them whatever the umask: folders and programs
# rwxr-xr-x, everything else rw-r--r--. The times need nothing here: CPack's
# DEB and ZIP generators give every file (and the .deb's own members) the
# time SOURCE_DATE_EPOCH in the environment, which cpack_windows.cmake sets.
execute_process(COMMAND chmod -R u=rwX,go=rX "${stage}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "chmod ${stage}: ${result}")
endif()
if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  message(FATAL_ERROR "cpack_finish.cmake: SOURCE_DATE_EPOCH is '$ENV{SOURCE_DATE_EPOCH}', not a number")
endif()
