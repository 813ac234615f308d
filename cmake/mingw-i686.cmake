# Cross toolchain for the 32-bit Windows stub: MinGW-w64 i686 from Debian's
# g++-mingw-w64-i686 and binutils-mingw-w64-i686 (scripts/setup.sh installs
# them). Only the tools are chosen here; the stub's flags are the cross
# project's business (cross/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MINGW_PREFIX i686-w64-mingw32 CACHE STRING "Target triplet prefix of the MinGW-w64 tools")
# The "-win32" compilers use the win32 thread model, so nothing pulls in
# winpthread; the plain names are the fallback.
find_program(CMAKE_C_COMPILER NAMES ${MINGW_PREFIX}-gcc-win32 ${MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MINGW_PREFIX}-g++-win32 ${MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_PREFIX}-windres REQUIRED)
find_program(CMAKE_AR NAMES ${MINGW_PREFIX}-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES ${MINGW_PREFIX}-ranlib REQUIRED)

# Headers and libraries come from the MinGW sysroot only; programs run on the
# build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
