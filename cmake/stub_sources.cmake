# The stub's sources, listed once: the host build makes a library of each
# folder (run natively by the tests, the tools take what they need), the
# cross build (cross/) links them all into stub.exe. Absolute paths.
get_filename_component(_stub_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(STUB_PACKAGE_SOURCES package/locator.cpp package/catalogue.cpp package/check.cpp package/own_package.cpp)
set(STUB_DECODE_SOURCES decode/decoder.cpp decode/tree.cpp decode/streams.cpp)
set(STUB_NAMING_SOURCES install/naming.cpp install/text.cpp install/thousands.cpp)
set(STUB_INSTALL_SOURCES
    install/checks.cpp install/decode_file.cpp install/extract.cpp install/install_dialog.cpp install/message.cpp
    install/order_dialog.cpp install/program.cpp)
set(STUB_SHELL_SOURCES shell/sequence.cpp shell/winmain.cpp)
# The C runtime's streams behind platform/streams.h (the Linux tools use them too).
set(STUB_CRT_SOURCES platform/crt_streams.cpp)
foreach(_list PACKAGE DECODE NAMING INSTALL SHELL CRT)
  list(TRANSFORM STUB_${_list}_SOURCES PREPEND ${_stub_root}/)
endforeach()
set(STUB_SOURCES ${STUB_PACKAGE_SOURCES} ${STUB_DECODE_SOURCES} ${STUB_NAMING_SOURCES} ${STUB_INSTALL_SOURCES}
                 ${STUB_SHELL_SOURCES} ${STUB_CRT_SOURCES})
