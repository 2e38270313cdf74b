#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Runs as root (or through sudo when available).
set -euo pipefail

native=(cmake g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
        liblcms2-dev libcli11-dev libpng-dev libtiff-dev clang libclang-rt-14-dev chromium fonts-dejavu-core)
windows=(g++-mingw-w64-i686 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 xvfb xauth)
wine32=(wine wine32:i386)
# Only the ICC accuracy report in bench/ runs it, as a measuring peer.
bench=(argyll)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${native[@]}" "${windows[@]}" "${bench[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
need_i386=0
for p in "${wine32[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || { missing+=("$p"); need_i386=1; }
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all packages present"
  exit 0
fi

echo "deps: installing ${missing[*]}"
if [ $need_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
