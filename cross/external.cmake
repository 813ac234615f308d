# Included by the top-level CMakeLists.txt: the MinGW project of this folder
# (CMakeLists.txt here, never added as a subdirectory of the host build) is
# configured with the MinGW toolchain file into CROSS_BUILD_DIR and
# rebuilt on every build (its own dependency tracking decides what is stale).
# It needs two host tools of this build: icongen draws the icon, rsrcfix is
# the post-link step. Products: cross/stub.exe, cross/scrpack.exe,
# cross/sample_saver.scr, cross/uidriver.exe, cross/decodecheck.exe below the
# build directory.
#
# The host's compiler flags from the environment (CFLAGS, LDFLAGS and so on,
# as Debian's dpkg-buildflags exports them) are meant for host programs: the
# MinGW linker knows no -z option, and it crashes on the stub built with the
# stack protector; and the stub's bytes must not depend on who builds it. The
# cross project sets its own flags, so its configure step runs without them.
include(ExternalProject)

set(host_flag_variables CFLAGS CXXFLAGS CPPFLAGS LDFLAGS RCFLAGS ASMFLAGS)
list(TRANSFORM host_flag_variables PREPEND --unset=)
ExternalProject_Add(stub_cross
  SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}
  BINARY_DIR ${CROSS_BUILD_DIR}
  CMAKE_COMMAND ${CMAKE_COMMAND} -E env ${host_flag_variables} ${CMAKE_COMMAND}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake
             -DCMAKE_BUILD_TYPE=MinSizeRel
             -DICONGEN=$<TARGET_FILE:icongen>
             -DRSRCFIX=$<TARGET_FILE:rsrcfix>
             -DSCRPACK_VERSION=${PROJECT_VERSION}
             -DWINE_LAB=${BUILD_TESTING}
  BUILD_ALWAYS 1
  INSTALL_COMMAND ""
  DEPENDS icongen rsrcfix)
