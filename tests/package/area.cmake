# Test names start with "package." so that ctest -R package selects them.
set(area_test_prefix "package.")
