#!/bin/sh
# The Wine check's decision on any machine, with programs that stand in for
# Wine's 32-bit loader: one the kernel refuses (as a kernel without IA-32
# emulation refuses every 32-bit program), one that runs, and commands that
# are missing. A refusal skips (77) with the kernel's reason and never runs
# the command; anything else runs it and passes its exit code on.
#   test_wine_check.sh WINE_CHECK WORK_DIR
set -u
unset WINE_CHECK_PROBE
check=$1
work=$2
rm -rf "$work"
mkdir -p "$work/bin"
# A stand-in wine, so that the decision does not depend on Wine being here.
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wine"
# Not an executable format at all: the kernel refuses it with ENOEXEC.
head -c 64 /dev/zero >"$work/refused"
chmod +x "$work/bin/wine" "$work/refused"
PATH="$work/bin:$PATH"
export PATH
IA32="this kernel runs 64-bit programs only (IA-32 emulation is off), so Wine cannot run the 32-bit installer here; boot with ia32_emulation=on or use another machine"
failures=0

# case NAME EXPECTED_EXIT EXPECTED_OUTPUT ARGS...: one row of the table.
case_() {
    name=$1 want_rc=$2 want_out=$3
    shift 3
    rm -f "$work/ran"
    out=$("$check" "$@" 2>&1)
    rc=$?
    if [ "$rc" != "$want_rc" ] || [ "$out" != "$want_out" ]; then
        echo "FAIL $name: exit $rc, said '$out'; expected exit $want_rc, '$want_out'"
        failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
}
ran="touch $work/ran; exit 5"

case_ "refused: decided, with the kernel's reason" 77 "$IA32" --probe "$work/refused"
case_ "refused: the command is skipped" 77 "skipped: $IA32" --probe "$work/refused" --run sh -c "$ran"
[ -e "$work/ran" ] && { echo "FAIL the skipped command ran"; failures=$((failures + 1)); }
case_ "refused: the kernel's reason before a missing tool" 77 "$IA32" \
    --probe "$work/refused" --need no-such-tool-here
case_ "runs: yes" 0 "" --probe /bin/true
case_ "runs: the command runs, its exit code passed on" 5 "" --probe /bin/true --run sh -c "$ran"
[ -e "$work/ran" ] || { echo "FAIL the command did not run"; failures=$((failures + 1)); }
case_ "runs: a missing tool is named" 77 "skipped: no-such-tool-here is not installed (scripts/setup.sh installs it, as root)" \
    --probe /bin/true --need no-such-tool-here --run true
case_ "a probe that fails otherwise decides nothing" 0 "" --probe /bin/false

# The check's own 32-bit program: it runs, or this kernel refuses it; it
# never crashes or fails otherwise.
out=$("$check" 2>&1)
rc=$?
case "$rc:$out" in
    "0:" | "77:$IA32") echo "ok   the built-in 32-bit program: exit $rc" ;;
    *) echo "FAIL the built-in 32-bit program: exit $rc, '$out'"; failures=$((failures + 1)) ;;
esac

[ "$failures" = 0 ] || { echo "$failures failed"; exit 1; }
