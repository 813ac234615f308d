#!/bin/sh
# After a ctest run: one line for each test that was skipped, with the reason
# the test gave (its output's "skipped: REASON" line), since CTest's summary
# names skipped tests without saying why.
#   skipped-tests.sh BUILD_DIR
log=${1:-build}/Testing/Temporary/LastTest.log
[ -f "$log" ] || exit 0
awk '
    /^[0-9]+\/[0-9]+ Test: / { name = $3; next }
    /^skipped: / && name != "" { sub(/^skipped: /, ""); print "skipped: " name ": " $0; name = "" }
    /^<end of output>/ { name = "" }
' "$log"
