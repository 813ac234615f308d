# What a release is stamped with, decided once at configure time so that two
# builds of one commit give the same bytes wherever and whenever they run:
#   SCRPACK_SOURCE_DATE_EPOCH  the time given to every packaged file: the
#                              environment's SOURCE_DATE_EPOCH, else the last
#                              commit's time, else the release date (a source
#                              tree without git)
#   SCRPACK_RELEASE_DATE       YYYY-MM-DD of this version's heading in
#                              CHANGELOG.md, else the date of the above (a
#                              version not yet released)
#   SCRPACK_COPYRIGHT          LICENSE's copyright line, "Copyright (c) ..."
#   SCRPACK_COPYRIGHT_HOLDERS  the same without "Copyright (c) "
include_guard(DIRECTORY)

file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md release_heading
     REGEX "^## ${PROJECT_VERSION} - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$" LIMIT_COUNT 1)
string(REGEX REPLACE "^## [^ ]+ - " "" dated_release "${release_heading}")

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(SCRPACK_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  set(SCRPACK_SOURCE_DATE_EPOCH "")
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE SCRPACK_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE git_result ERROR_QUIET)
    if(NOT git_result EQUAL 0)
      set(SCRPACK_SOURCE_DATE_EPOCH "")
    endif()
  endif()
  if(SCRPACK_SOURCE_DATE_EPOCH STREQUAL "" AND dated_release)
    # The release day's start in UTC, the same from any time zone.
    execute_process(COMMAND date -u -d "${dated_release} 00:00:00" +%s
                    OUTPUT_VARIABLE SCRPACK_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE date_result ERROR_QUIET)
    if(NOT date_result EQUAL 0)
      set(SCRPACK_SOURCE_DATE_EPOCH "")
    endif()
  endif()
endif()
if(NOT SCRPACK_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "No time for the packaged files: set SOURCE_DATE_EPOCH (seconds since 1970), "
                      "build from a git checkout, or date this version's heading in CHANGELOG.md "
                      "(got '${SCRPACK_SOURCE_DATE_EPOCH}')")
endif()

if(dated_release)
  set(SCRPACK_RELEASE_DATE ${dated_release})
else()
  # string(TIMESTAMP) reads SOURCE_DATE_EPOCH from the environment.
  set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(had_epoch FALSE)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(had_epoch TRUE)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${SCRPACK_SOURCE_DATE_EPOCH})
  string(TIMESTAMP SCRPACK_RELEASE_DATE "%Y-%m-%d" UTC)
  if(had_epoch)
    set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
  else()
    unset(ENV{SOURCE_DATE_EPOCH})
  endif()
endif()

file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE SCRPACK_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT SCRPACK_COPYRIGHT MATCHES "^Copyright \\([cC]\\) (.+)$")
  message(FATAL_ERROR "LICENSE has no line 'Copyright (c) YEAR HOLDERS'")
endif()
set(SCRPACK_COPYRIGHT_HOLDERS ${CMAKE_MATCH_1})

# Configuring again when either file changes keeps the above current.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/LICENSE)
