#!/usr/bin/env bash
# Installs, on Debian 12 and as root, what one target needs and is missing;
# safe to run again (does nothing when all is there). Not as root, it prints
# the command that would install what is missing and exits 1.
#
#   setup.sh [TARGET]    TARGET: what is to be built and run
#     tool   scrpack and its stub: CMake, g++, the MinGW cross compiler
#     unit   the tool and the unit tests: + GoogleTest, Python, clang-format,
#            and what the packaging test uses (dpkg-dev, man-db, lintian,
#            devscripts), and openssl with osslsigncode (signed installers)
#     fuzz   unit + clang with its libFuzzer runtime
#     wine   unit + Wine with its fonts, Xvfb and ImageMagick (the Wine tests
#            and the demo); adds the i386 architecture for Wine's 32-bit side
#     all    everything (the default; what `make test` runs)
#
# On a kernel that runs 64-bit programs only (scripts/wine-check.sh decides),
# Wine could not run the 32-bit installer: it is not installed, and the Wine
# tests and the demo's run say so and are skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

usage() { sed -n '2,19s/^# \{0,1\}//p' "$0"; }
target=${1:-all}

# groff-base renders the manual as plain text for the Windows zip.
tool_pkgs=(cmake make g++ g++-mingw-w64-i686 binutils-mingw-w64-i686 groff-base)
# dpkg-dev, man-db, lintian and devscripts: the packaging test makes the
# Debian package (dpkg-shlibdeps), renders its man page and checks it as
# Debian does (lintian, hardening-check).
unit_pkgs=(libgtest-dev python3 clang-format gzip xz-utils dpkg-dev man-db lintian devscripts openssl osslsigncode)
fuzz_pkgs=(clang libclang-rt-14-dev)
# fonts-wine holds Wine's Marlett, which draws the caption buttons: without it
# (a recommendation only) the close box shows the letter "r".
wine_pkgs=(wine wine32:i386 fonts-wine xvfb xdotool x11-utils imagemagick)

case "$target" in
  tool) groups="tool" ;;
  unit) groups="tool unit" ;;
  fuzz) groups="tool unit fuzz" ;;
  wine) groups="tool unit wine" ;;
  all) groups="tool unit fuzz wine" ;;
  -h|--help) usage; exit 0 ;;
  *) echo "setup: unknown target '$target'" >&2; usage >&2; exit 1 ;;
esac

wanted=()
for g in $groups; do
  if [ "$g" = wine ] && ! why=$("$here/wine-check.sh" 2>&1) &&
     [[ "$why" == "this kernel runs 64-bit programs only"* ]]; then
    echo "setup: Wine left out: $why. The Wine tests and the demo's run of Demo.exe will be skipped."
    continue
  fi
  declare -n list="${g}_pkgs"
  wanted+=("${list[@]}")
done

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

# wine32 is an i386 package: Debian must know that architecture first.
add_i386=0
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  add_i386=1
fi

if [ "$(id -u)" != 0 ]; then
  echo "setup: missing for '$target': ${missing[*]}" >&2
  echo "setup: as root, run:" >&2
  if [ "$add_i386" = 1 ]; then
    echo "  dpkg --add-architecture i386 && apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
  else
    echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
  fi
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if [ "$add_i386" = 1 ]; then
  echo "setup: adding the i386 architecture to dpkg (Wine's 32-bit side, wine32:i386, comes from it)"
  dpkg --add-architecture i386
fi
echo "setup: installing ${missing[*]}"
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
