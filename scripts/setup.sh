#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine, as
# root, and only what is missing: the host compilers and test libraries, the
# MinGW cross toolchain for the 32-bit stub, and Wine with Xvfb for the
# end-to-end tests. Safe to run again; does nothing when all is there.
set -euo pipefail

# dpkg-dev and man-db: the Debian package is made (dpkg-shlibdeps) and its man
# page rendered by the tests; clang-format: the tests check the formatting.
host_pkgs=(cmake make g++ clang libclang-rt-14-dev libgtest-dev gzip xz-utils python3
           dpkg-dev man-db clang-format)
# fonts-wine holds Wine's Marlett, which draws the caption buttons: without it
# (a recommendation only) the close box shows the letter "r".
win_pkgs=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 fonts-wine xvfb xdotool x11-utils
          imagemagick)

missing=()
for p in "${host_pkgs[@]}" "${win_pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
  echo "setup: missing packages: ${missing[*]}; run as root (or install them) first" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
