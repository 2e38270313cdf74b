#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Runs as root (or through sudo when available).
#   install-deps.sh          everything: both builds, every test, fuzzing, benchmarks
#   install-deps.sh --demo   only what the native build and `aucal demo` need
set -euo pipefail

# The native build (its tests and benchmarks are built too).
build=(cmake g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
       liblcms2-dev libcli11-dev libpng-dev libtiff-dev zlib1g-dev libjpeg-dev
       nlohmann-json3-dev)
# The fuzzers (clang, libFuzzer), the browser tests of the report and the match
# page, and ArgyllCMS, the second reader of the ICC profiles in the tests.
native=(clang libclang-rt-14-dev chromium fonts-dejavu-core argyll)
windows=(g++-mingw-w64-i686 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev xvfb xauth)
wine32=(wine wine32:i386)
# Measuring peers in bench/: ArgyllCMS for the ICC accuracy report, tificc
# (LittleCMS) and ImageMagick for aucal correct end to end.
bench=(argyll liblcms2-utils imagemagick)
# make dist: the Debian package's dependencies (dpkg-shlibdeps), its manual
# page and the API reference page.
dist=(dpkg-dev help2man python3-markdown)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ "${1:-}" = "--demo" ]; then
  native=() windows=() wine32=() bench=() dist=()
elif [ $# -gt 0 ]; then
  echo "usage: $0 [--demo]" >&2
  exit 2
fi

missing=()
for p in "${build[@]}" "${native[@]}" "${windows[@]}" "${bench[@]}" ${dist[@]+"${dist[@]}"}; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
need_i386=0
for p in ${wine32[@]+"${wine32[@]}"}; do
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
