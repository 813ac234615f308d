# scrpack's sources and those of the authoring library under it, listed once:
# the host build makes libraries of them (tools/), the cross build links them
# into scrpack.exe (cross/). What differs between systems lives in one file
# per system beside the portable list, chosen here, never inside a function.
# Absolute paths.
get_filename_component(_tools_root ${CMAKE_CURRENT_LIST_DIR}/../tools ABSOLUTE)
set(AUTHORING_SOURCES codepage.cpp encoder.cpp memory_decode.cpp numbers.cpp package_writer.cpp read_file.cpp)
set(AUTHORING_POSIX_SOURCES memory_streams_posix.cpp)
set(AUTHORING_WINDOWS_SOURCES memory_streams_windows.cpp)
set(SCRPACK_SOURCES
    scrpack.cpp help.cpp cli.cpp installer.cpp output.cpp list.cpp verify.cpp extract.cpp pack.cpp codec.cpp)
set(SCRPACK_POSIX_SOURCES system_posix.cpp)
set(SCRPACK_WINDOWS_SOURCES system_windows.cpp)
set(SCRPACK_MAIN_SOURCES main.cpp)
# Every language of the installer's texts, for the host side (res/languages.h).
get_filename_component(LANGUAGE_SOURCES ${_tools_root}/../res/languages.cpp ABSOLUTE)
foreach(_list AUTHORING AUTHORING_POSIX AUTHORING_WINDOWS)
  list(TRANSFORM ${_list}_SOURCES PREPEND ${_tools_root}/authoring/)
endforeach()
foreach(_list SCRPACK SCRPACK_POSIX SCRPACK_WINDOWS SCRPACK_MAIN)
  list(TRANSFORM ${_list}_SOURCES PREPEND ${_tools_root}/scrpack/)
endforeach()
