# Test names start with "stub." so that ctest -R stub selects them.
set(area_test_prefix "stub.")
