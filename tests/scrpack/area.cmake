# The tests run the built scrpack binary; names start with "scrpack.".
set(area_test_prefix "scrpack.")
if(TARGET scrpack)
  target_compile_definitions(test_scrpack PRIVATE SCRPACK_PATH="$<TARGET_FILE:scrpack>")
  add_dependencies(test_scrpack scrpack)
endif()
