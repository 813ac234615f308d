# Test names of this area start with "decode." (ctest -R decode).
set(area_test_prefix "decode.")
