# Read by CPack once per generator (CPACK_PROJECT_CONFIG_FILE): the zip holds
# the component "windows" alone, in one folder named for the version and the
# system; the .deb, made without components, never sees that component (its
# files are EXCLUDE_FROM_ALL).
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL windows)
  set(CPACK_PACKAGE_FILE_NAME scrpack-${CPACK_PACKAGE_VERSION}-windows-i686)
  set(CPACK_ARCHIVE_WINDOWS_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX "")
endif()

# One time for everything packaged: the DEB and ZIP generators date every
# file with SOURCE_DATE_EPOCH from the environment. One given to cpack wins
# over the one from configuring.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_SCRPACK_SOURCE_DATE_EPOCH})
endif()
