# Test names of this area start with "encode." (ctest -R encode).
set(area_test_prefix "encode.")
