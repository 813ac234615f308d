# Tests that cannot run on this machine are still registered, each as a test
# that prints why and ends with CTest's skip code, so that a missing tool
# (clang, Python, clang-format) or a kernel that cannot run Wine shows as
# "Skipped" with its reason, never as a failure and never silently absent.
# The Wine tests decide at run time through scripts/wine-check.sh, which
# exits with the same code.
set(SKIP_CODE 77)
set(WINE_CHECK ${PROJECT_SOURCE_DIR}/scripts/wine-check.sh)

# add_skipped_test(NAME REASON LABEL): a test that only says why it is skipped.
function(add_skipped_test name reason label)
  add_test(NAME ${name} COMMAND sh -c "echo 'skipped: ${reason}'; exit ${SKIP_CODE}")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE ${SKIP_CODE} LABELS ${label})
endfunction()
