# How a host program that ships is built, with or without the distribution's
# build flags. Hardened: a position-independent executable, read-only
# relocations bound at start-up (relro with now), the stack protector, and
# glibc's checked string and memory functions (_FORTIFY_SOURCE, which needs
# an optimised build). scrpack reads installers from anywhere, so the code
# that parses them, in the libraries it links, is built the same way. And it
# holds no path of the machine that built it, in its debugging information
# neither.
include_guard(GLOBAL)
include(CheckPIESupported)
include(CheckCXXCompilerFlag)

check_pie_supported(OUTPUT_VARIABLE pie_message LANGUAGES CXX)
if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
  message(WARNING "The linker makes no position-independent executables: ${pie_message}")
endif()

set(SHIPPED_COMPILE_OPTIONS -fstack-protector-strong)
# Where the compiler has it: probes for frames large enough to step over the
# stack's guard page.
check_cxx_compiler_flag(-fstack-clash-protection HAVE_STACK_CLASH_PROTECTION)
if(HAVE_STACK_CLASH_PROTECTION)
  list(APPEND SHIPPED_COMPILE_OPTIONS -fstack-clash-protection)
endif()
# A level the flags already choose (CXXFLAGS=-D_FORTIFY_SOURCE=3) stays; CMake
# does not read CPPFLAGS, so Debian's -D_FORTIFY_SOURCE=2 never arrives.
if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
  list(APPEND SHIPPED_COMPILE_OPTIONS $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()

# Paths in the program (__FILE__, debugging information) relative to the
# source and build folders.
list(APPEND SHIPPED_COMPILE_OPTIONS -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)

# The static libraries a target links, directly or through others; link
# items given as generator expressions are left out (see below).
function(_shipped_static_libraries target out)
  set(found ${${out}})
  get_target_property(direct ${target} LINK_LIBRARIES)
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  foreach(item IN LISTS direct interface)
    if(TARGET "${item}" AND NOT item IN_LIST found)
      get_target_property(type ${item} TYPE)
      if(type STREQUAL "STATIC_LIBRARY" OR type STREQUAL "OBJECT_LIBRARY")
        list(APPEND found ${item})
        _shipped_static_libraries(${item} found)
      endif()
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# shipped_host_program(TARGET): the executable and every static library that
# goes into it, the platform layer its STUB_PLATFORM property names included.
function(shipped_host_program program)
  set(libraries "")
  _shipped_static_libraries(${program} libraries)
  get_target_property(platform ${program} STUB_PLATFORM)
  if(platform)
    list(APPEND libraries ${platform})
    _shipped_static_libraries(${platform} libraries)
  endif()
  list(REMOVE_DUPLICATES libraries)
  foreach(target IN ITEMS ${program} LISTS libraries)
    set_property(TARGET ${target} PROPERTY POSITION_INDEPENDENT_CODE ON)
    target_compile_options(${target} PRIVATE ${SHIPPED_COMPILE_OPTIONS})
  endforeach()
  target_link_options(${program} PRIVATE LINKER:-z,relro LINKER:-z,now)
endfunction()
