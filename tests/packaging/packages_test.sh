#!/bin/sh
# The packages as users get them, made by CPack from this build. The Debian
# package holds what it should and nothing of the Windows build, passes
# lintian (where installed) without an error or a warning, and is used from a
# folder it is unpacked into: its scrpack is hardened, holds no path of the
# build, packs (finding the stub beside itself), lists and verifies an
# installer (Dutch, and German with --language), and its man page renders
# without a warning. The zip beside it holds scrpack.exe (with its version
# information) and the four stubs as built,
# with the documents for Windows, in one folder. A second packaging gives the
# same bytes, every file dated SOURCE_DATE_EPOCH.
#   packages_test.sh BUILD_DIR WORK_DIR
set -eu
build=$(cd "$1" && pwd)
work=$2
source=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work/use"
work=$(cd "$work" && pwd)
fail() { echo "packages_test: $*" >&2; exit 1; }

# Both packagings without SOURCE_DATE_EPOCH in the environment, as
# `cmake --build BUILD --target package` runs: the time comes from configuring.
package() {
    env -u SOURCE_DATE_EPOCH cpack --config "$build/CPackConfig.cmake" -B "$1" >"$1.log" 2>&1 ||
        { cat "$1.log" >&2; fail "cpack failed"; }
}
package "$work/out"
set -- "$work"/out/scrpack_*.deb
[ -f "$1" ] || fail "no scrpack_*.deb in $work/out"
deb=$1
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for f in /usr/bin/scrpack /usr/share/scrpack/stub.exe /usr/share/scrpack/stub-en.exe \
         /usr/share/scrpack/stub-de.exe /usr/share/scrpack/stub-fr.exe /usr/share/man/man1/scrpack.1.gz \
         /usr/share/bash-completion/completions/scrpack /usr/share/doc/scrpack/README.md \
         /usr/share/doc/scrpack/copyright /usr/share/doc/scrpack/changelog.gz \
         /usr/share/lintian/overrides/scrpack; do
    grep -qx "$f" "$work/contents" || fail "$f is not in the package"
done
exes=$(grep '\.exe$' "$work/contents" | LC_ALL=C sort | tr '\n' ' ')
[ "$exes" = "$(printf '/usr/share/scrpack/%s ' stub-de.exe stub-en.exe stub-fr.exe stub.exe)" ] ||
    fail "Windows programs in the package besides its four stubs: $exes"
dpkg-deb -f "$deb" Package Version Architecture Maintainer Depends

if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 -I "$deb" >"$work/lintian.log" 2>"$work/lintian.err" ||
        [ -s "$work/lintian.log" ] || { cat "$work/lintian.err" >&2; fail "lintian did not run"; }
    sed 's/^/lintian: /' "$work/lintian.log"
    ! grep -q '^[EW]:' "$work/lintian.log" || fail "lintian reports errors or warnings"
else
    echo "packages_test: lintian is not installed; the package goes unchecked by it"
fi

dpkg-deb -x "$deb" "$work/root"
tool="$work/root/usr/bin/scrpack"
version=$(dpkg-deb -f "$deb" Version)
run() { env -i PATH=/usr/bin:/bin "$tool" "$@"; }
run --version | grep -qx "scrpack $version" || fail "--version does not say the package's version"

# Hardened: PIE, relro with immediate binding, the stack protector, fortified
# functions.
if command -v hardening-check >/dev/null; then
    hardening-check --nocfprotection "$tool" || fail "scrpack is not hardened"
else
    readelf -h "$tool" | grep -q 'Type: *DYN' || fail "scrpack is not a PIE"
    readelf -lW "$tool" | grep -q GNU_RELRO || fail "scrpack has no read-only relocations"
    readelf -dW "$tool" | grep -Eq 'BIND_NOW|FLAGS_1.* NOW' || fail "scrpack is not bound at start-up"
    readelf --dyn-syms -W "$tool" >"$work/dynsyms"
    grep -q ' __stack_chk_fail' "$work/dynsyms" || fail "scrpack has no stack protector"
    grep -v __stack_chk_fail "$work/dynsyms" | grep -Eq ' __[a-z0-9_]+_chk(@|$)' || fail "scrpack has no fortified functions"
fi

# No path of the build: where it looks for its stub is found at run time.
for dir in "$build" "$source"; do
    ! grep -qF "$dir" "$tool" || fail "scrpack holds the path $dir"
done

cd "$work/use"
head -c 20000 /dev/zero | tr '\0' 'a' >saver.scr
printf 'data file\n' >sunset.dat
run pack -o Sunset.exe --title Zonsondergang saver.scr sunset.dat >pack.log || { cat pack.log; fail "pack failed"; }
grep -q "(stub: $work/root/usr/share/scrpack/stub.exe)" pack.log || { cat pack.log; fail "pack did not use the packaged stub"; }
run list Sunset.exe | grep -q 'TORVANEL\\KAVRELIN\\Sunset\\Sunset.DAT' || fail "list does not show the data file"
run list Sunset.exe | grep -qx 'Language: *Dutch (nl)' || fail "list does not find the installer Dutch"
# Another language's stub, found beside the Dutch one.
run pack --language de -o Sonne.exe --title Sonnenuntergang saver.scr sunset.dat >pack-de.log ||
    { cat pack-de.log; fail "pack --language de failed"; }
grep -q "(stub: $work/root/usr/share/scrpack/stub-de.exe)" pack-de.log ||
    { cat pack-de.log; fail "pack --language de did not use the packaged German stub"; }
run list Sonne.exe | grep -qx 'Language: *German (de)' || fail "list does not find the installer German"
run verify Sunset.exe | grep -q '^Sunset.exe: OK: 2 entries' || fail "verify does not find it sound"
# Away from the stub it was installed with, it names only where it looked
# from its own place.
mkdir -p alone/bin
cp "$tool" alone/bin/scrpack
env -i PATH=/usr/bin:/bin alone/bin/scrpack pack -o Alone.exe --title T saver.scr sunset.dat >alone.log 2>&1 &&
    fail "pack found a stub with none beside it"
grep -qxF "scrpack: pack: no stub found; looked at \$SCRPACK_STUB (not set), $work/use/alone/share/scrpack/stub.exe; name one with --stub" alone.log ||
    { cat alone.log; fail "pack without a stub does not say where it looked"; }
# The build tree's own scrpack takes the stub built beside it.
env -i PATH=/usr/bin:/bin "$build/tools/scrpack/scrpack" pack -o Built.exe --title T saver.scr sunset.dat >built.log ||
    { cat built.log; fail "the build tree's scrpack failed to pack"; }
grep -q "(stub: $build/cross/stub.exe)" built.log || { cat built.log; fail "the build tree's scrpack did not use its stub"; }

man="$work/root/usr/share/man/man1/scrpack.1.gz"
warnings=$(man -l --warnings "$man" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page warnings: $warnings"
# The man page is dated with the release, from the changelog's heading.
released=$(sed -n "s/^## $version - \([0-9-]*\)\$/\1/p" "$source/CHANGELOG.md")
if [ -n "$released" ]; then
    gzip -dc "$man" | grep -q "^\.TH SCRPACK 1 \"$released\"" || fail "the man page is not dated $released"
fi

zip="$work/out/scrpack-$version-windows-i686.zip"
[ -f "$zip" ] || fail "no $(basename "$zip") in $work/out"
echo "package: $(basename "$zip")"
top="scrpack-$version-windows-i686"
python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip" >"$work/zip-contents"
printf '%s\n' "$top/CHANGELOG.txt" "$top/LICENSE.txt" "$top/README.txt" "$top/scrpack.exe" "$top/scrpack.txt" \
    "$top/stub-de.exe" "$top/stub-en.exe" "$top/stub-fr.exe" "$top/stub.exe" | diff - "$work/zip-contents" >&2 ||
    fail "the zip does not hold exactly scrpack.exe, the four stubs and the documents for Windows"
python3 -m zipfile -e "$zip" "$work/zip"
cmp "$work/zip/$top/scrpack.exe" "$build/cross/scrpack.exe" || fail "the zip's scrpack.exe is not the one built"
for stub in stub.exe stub-en.exe stub-de.exe stub-fr.exe; do
    cmp "$work/zip/$top/$stub" "$build/cross/$stub" || fail "the zip's $stub is not the one built"
done
for doc in README.txt scrpack.txt LICENSE.txt CHANGELOG.txt; do
    # Every line ends in CR LF, the last one too.
    python3 -c 'import sys; t = open(sys.argv[1], "rb").read(); sys.exit(not t.endswith(b"\r\n") or t.count(b"\n") != t.count(b"\r\n"))' \
        "$work/zip/$top/$doc" || fail "$doc does not have CR LF line ends"
done
grep -q "^scrpack $version .*SCRPACK(1)" "$work/zip/$top/scrpack.txt" || fail "scrpack.txt is not the manual of $version"
! grep -q "$(printf '\b')" "$work/zip/$top/scrpack.txt" || fail "scrpack.txt has overstriking"
# Windows shows the version information in the file's properties.
i686-w64-mingw32-windres -i "$work/zip/$top/scrpack.exe" -O rc >"$work/scrpack-exe.rc" ||
    fail "scrpack.exe has no resources windres can read"
numbers=$(echo "$version" | sed 's/\./, /g')
for line in "FILEVERSION $numbers, 0" "PRODUCTVERSION $numbers, 0" "VALUE \"FileVersion\", \"$version\"" \
            "VALUE \"ProductVersion\", \"$version\"" "VALUE \"OriginalFilename\", \"scrpack.exe\""; do
    grep -qF "$line" "$work/scrpack-exe.rc" || { cat "$work/scrpack-exe.rc"; fail "scrpack.exe's version information lacks $line"; }
done

# The second packaging, in another folder: the same bytes, every file dated
# with the configured SOURCE_DATE_EPOCH.
package "$work/out2"
cmp "$deb" "$work/out2/$(basename "$deb")" || fail "two packagings give different .deb files"
cmp "$zip" "$work/out2/$(basename "$zip")" || fail "two packagings give different zips"
epoch=$(sed -n 's/^set(CPACK_SCRPACK_SOURCE_DATE_EPOCH "\([0-9]*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$epoch" ] || fail "CPackConfig.cmake gives no SOURCE_DATE_EPOCH"
dpkg-deb --fsys-tarfile "$deb" | python3 -c '
import sys, tarfile
times = {m.mtime for m in tarfile.open(fileobj=sys.stdin.buffer, mode="r|")}
sys.exit(times != {int(sys.argv[1])})' "$epoch" || fail "the .deb's files are not dated $epoch"
python3 -c '
import struct, sys, zipfile
for info in zipfile.ZipFile(sys.argv[1]).infolist():
    extra, times = info.extra, []
    while len(extra) >= 4:  # the extended timestamp field (0x5455) holds the UTC mtime
        kind, size = struct.unpack("<HH", extra[:4])
        if kind == 0x5455 and extra[4] & 1:
            times.append(struct.unpack("<I", extra[5:9])[0])
        extra = extra[4 + size:]
    if times != [int(sys.argv[2])]:
        sys.exit(info.filename + ": " + str(times))' "$zip" "$epoch" || fail "the zip's files are not dated $epoch"
echo "packages_test: ok"
