# The tests run the built scrpack binary; names start with "scrpack.".
set(area_test_prefix "scrpack.")
# They also run its actions in-process, on the test layer's fault switches.
target_compile_definitions(test_scrpack PRIVATE SCRPACK_PATH="$<TARGET_FILE:scrpack>")
target_link_libraries(test_scrpack PRIVATE scrpack_core)
add_dependencies(test_scrpack scrpack)
