#!/bin/sh
# Decides, once and cheaply, whether this machine can run the Wine parts: the
# end-to-end tests and the demo's run of Demo.exe. Wine runs the 32-bit
# installer through its 32-bit loader, a 32-bit Linux program; a kernel whose
# IA-32 emulation is off refuses every such program with "Exec format error",
# and nothing from inside (not even qemu-user) makes Wine work there. So the
# check starts a tiny 32-bit program of its own first and tells that refusal
# apart from anything else: a Wine that starts but then fails is not
# decided here, and stays a failure of the test that meets it.
#
#   wine-check.sh [--probe PROGRAM] [--need CMD]...
#       exit 0 when the Wine parts can run here; otherwise print the reason
#       on one line and exit 77.
#   wine-check.sh [--probe PROGRAM] [--need CMD]... --run COMMAND [ARG]...
#       run COMMAND when they can; otherwise print "skipped: REASON" and exit
#       77 (CTest's SKIP_RETURN_CODE of every Wine test).
#
# --need CMD: a further program the caller needs (python3, xvfb-run ...).
# --probe PROGRAM: start PROGRAM instead of the built-in 32-bit program (the
# tests give it one that the kernel refuses, to check the decision). The
# environment's WINE_CHECK_PROBE does the same for every caller at once, so
# that a whole `make test` or `make demo` can be seen taking the path of a
# machine without 32-bit support.
set -u
SKIP=77
probe=${WINE_CHECK_PROBE:-}
needs="wine"
while [ $# -gt 0 ]; do
    case "$1" in
        --probe) probe=$2; shift 2 ;;
        --need) needs="$needs $2"; shift 2 ;;
        --run) shift; break ;;
        -h|--help) sed -n '2,27s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "wine-check: unknown argument '$1'" >&2; exit 2 ;;
    esac
done

IA32_OFF="this kernel runs 64-bit programs only (IA-32 emulation is off), so Wine cannot run the 32-bit installer here; boot with ia32_emulation=on or use another machine"

# The smallest 32-bit x86 Linux program: an ELF header, one loadable segment,
# and exit(0) through int 0x80 (93 bytes).
write_probe() {
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' # identification
    printf '\002\000\003\000\001\000\000\000'                         # executable, i386, version 1
    printf '\124\200\004\010\064\000\000\000\000\000\000\000'         # entry 0x8048054, header table at 52
    printf '\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000' # flags, sizes, one program header, no sections
    printf '\001\000\000\000\000\000\000\000\000\200\004\010'         # LOAD from offset 0 at 0x8048000
    printf '\000\200\004\010\135\000\000\000\135\000\000\000'         # 93 bytes in the file and in memory
    printf '\005\000\000\000\000\020\000\000'                         # readable, executable; align 4096
    printf '\270\001\000\000\000\061\333\315\200'                     # mov eax,1; xor ebx,ebx; int 0x80
}

# Prints the reason the Wine parts cannot run here, or nothing.
reason() {
    dir=$(mktemp -d "${TMPDIR:-/tmp}/wine-check.XXXXXX") || { echo "cannot make a temporary folder"; return; }
    prog=${probe:-$dir/probe32}
    if [ -z "$probe" ]; then
        write_probe >"$prog" && chmod +x "$prog"
    fi
    # The shell names the refusal; its words are read in the C locale.
    out=$(cd "$dir" && LC_ALL=C "$SHELL_FOR_PROBE" -c '"$0"' "$prog" 2>&1)
    rc=$?
    rm -rf "$dir"
    case "$rc:$out" in
        0:*) ;;
        126:*"Exec format error"*) echo "$IA32_OFF"; return ;;
        # A program that cannot be started at all (a temporary folder mounted
        # noexec, say) decides nothing: Wine itself will tell.
        126:* | 127:*) ;;
        # Our own program must not fail once started: that is a fault here.
        *) [ -z "$probe" ] && echo "wine-check: the 32-bit probe failed (exit $rc): $out" >&2 && exit 2 ;;
    esac
    for cmd in $needs; do
        if ! command -v "$cmd" >/dev/null 2>&1; then
            echo "$cmd is not installed (scripts/setup.sh installs it, as root)"
            return
        fi
    done
}

# bash names "Exec format error"; dash reports the refusal in other words.
SHELL_FOR_PROBE=$(command -v bash || echo sh)
why=$(reason) || exit 2
if [ -z "$why" ]; then
    [ $# -gt 0 ] && exec "$@"
    exit 0
fi
if [ $# -gt 0 ]; then
    echo "skipped: $why"
else
    echo "$why"
fi
exit $SKIP
