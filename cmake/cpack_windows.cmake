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
  set(CPACK_STRIP_FILES "")  # scrpack.exe is linked without symbols already
endif()
