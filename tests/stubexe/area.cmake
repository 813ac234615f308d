# The layout test reads the cross-built stub (cross/), and the package
# locator's view of it; the packing test puts a package into it with scrpack.
target_compile_definitions(test_stubexe PRIVATE
  STUB_EXE_PATH="${CMAKE_BINARY_DIR}/cross/stub.exe"
  SCRPACK_PATH="$<TARGET_FILE:scrpack>")
add_dependencies(test_stubexe stub_cross scrpack)
