# Test names start with "naming." so that ctest -R naming selects them.
set(area_test_prefix "naming.")
