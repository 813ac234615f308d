#!/bin/sh
# The packages as users get them, made by CPack from this build. The Debian
# package holds what it should and nothing of the Windows build, and is used
# from a folder it is unpacked into: its scrpack packs (finding the stub
# beside itself), lists and verifies an installer, and its man page renders
# without a warning. The zip beside it holds scrpack.exe and stub.exe as
# built, with the documents, in one folder.
#   packages_test.sh BUILD_DIR WORK_DIR
set -eu
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work/use"
fail() { echo "packages_test: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
set -- "$work"/out/scrpack_*.deb
[ -f "$1" ] || fail "no scrpack_*.deb in $work/out"
deb=$1
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for f in /usr/bin/scrpack /usr/share/scrpack/stub.exe /usr/share/man/man1/scrpack.1 \
         /usr/share/bash-completion/completions/scrpack /usr/share/doc/scrpack/README.md \
         /usr/share/doc/scrpack/LICENSE /usr/share/doc/scrpack/CHANGELOG.md; do
    grep -qx "$f" "$work/contents" || fail "$f is not in the package"
done
exes=$(grep '\.exe$' "$work/contents" | tr '\n' ' ')
[ "$exes" = "/usr/share/scrpack/stub.exe " ] || fail "Windows programs in the package besides its stub: $exes"
dpkg-deb -f "$deb" Package Version Architecture Depends

dpkg-deb -x "$deb" "$work/root"
tool="$work/root/usr/bin/scrpack"
run() { env -i PATH=/usr/bin:/bin "$tool" "$@"; }
run --version | grep -qx "scrpack $(dpkg-deb -f "$deb" Version)" || fail "--version does not say the package's version"

cd "$work/use"
head -c 20000 /dev/zero | tr '\0' 'a' >saver.scr
printf 'data file\n' >sunset.dat
run pack -o Sunset.exe --title Zonsondergang saver.scr sunset.dat >pack.log || { cat pack.log; fail "pack failed"; }
grep -q "(stub: $work/root/usr/share/scrpack/stub.exe)" pack.log || { cat pack.log; fail "pack did not use the packaged stub"; }
run list Sunset.exe | grep -q 'TORVANEL\\KAVRELIN\\Sunset\\Sunset.DAT' || fail "list does not show the data file"
run verify Sunset.exe | grep -q '^Sunset.exe: OK: 2 entries' || fail "verify does not find it sound"
warnings=$(man -l --warnings "$work/root/usr/share/man/man1/scrpack.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page warnings: $warnings"

version=$(dpkg-deb -f "$deb" Version)
zip="$work/out/scrpack-$version-windows-i686.zip"
[ -f "$zip" ] || fail "no $(basename "$zip") in $work/out"
echo "package: $(basename "$zip")"
top="scrpack-$version-windows-i686"
python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip" >"$work/zip-contents"
printf '%s\n' "$top/CHANGELOG.md" "$top/LICENSE" "$top/README.md" "$top/scrpack.exe" "$top/stub.exe" |
    diff - "$work/zip-contents" >&2 || fail "the zip does not hold exactly scrpack.exe, stub.exe and the documents"
python3 -m zipfile -e "$zip" "$work/zip"
cmp "$work/zip/$top/scrpack.exe" "$build/cross/scrpack.exe" || fail "the zip's scrpack.exe is not the one built"
cmp "$work/zip/$top/stub.exe" "$build/cross/stub.exe" || fail "the zip's stub.exe is not the one built"
echo "packages_test: ok"
