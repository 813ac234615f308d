# The post-link step, called as a library and as the program, on synthetic
# images and on the stub as linked, before the step ran on it.
target_link_libraries(test_rsrcfix PRIVATE rsrcfix_core)
target_compile_definitions(test_rsrcfix PRIVATE
  RSRCFIX_PATH="$<TARGET_FILE:rsrcfix>"
  STUB_LINKED_PATH="${CMAKE_BINARY_DIR}/cross/link/stub-linked.exe")
add_dependencies(test_rsrcfix rsrcfix stub_cross)
