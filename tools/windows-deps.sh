#!/usr/bin/env bash
# The libraries that a Windows aucal.exe links statically (LittleCMS, zlib,
# libpng, libtiff, libjpeg-turbo), built for 32-bit Windows with the
# mingw-w64 toolchain from their Debian source packages into a cache:
#   tools/windows-deps.sh <cache>          e.g. build-win32/deps
# leaves <cache>/include and <cache>/lib (static libraries) and
# <cache>/versions.txt; a cache whose versions.txt matches the pins below is
# left as it is.
#
# Sources: `apt-get source` at the pinned versions below; the .dsc of each is
# checked against its pinned SHA-256, and dpkg-source checks every other file
# of the package against the .dsc when it unpacks. The deb-src entry apt needs
# is derived at run time from the machine's own apt sources (each deb entry
# gets its deb-src twin), so no package host is written here.
set -euo pipefail

# source package, version, SHA-256 of its .dsc
pins=(
  "zlib 1:1.2.13.dfsg-1 3fa1e6b2fc525062aa88207dda52fed8e045373c809d362fe8a2bfbf7cf515a8"
  "libjpeg-turbo 1:2.1.5-2 d718ead0dfbcbc8523665c02a7f7152e31039ded641d022868722623bb3b486d"
  "libpng1.6 1.6.39-2+deb12u5 7b86211030a34deb6b0a2cd7e1d9db0fe92443fd30cab537fb89b1e7f7c9f188"
  "tiff 4.5.0-6+deb12u4 b32082304d725936078d687303fcf771c9ecf738b505f9a66a29e8ba282c8615"
  "lcms2 2.14-2+deb12u1 8328883a2b25ac3017bdacd1b1b1b60a3ae1f1e68a7e92d94b03060274cd10c5"
)
host=i686-w64-mingw32
here=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$here/cmake/mingw-i686.cmake
[ $# -eq 1 ] || { echo "usage: $0 <cache>" >&2; exit 2; }
cache=$(realpath -m "$1")
pin_text=$(printf '%s\n' "${pins[@]}")
if [ -f "$cache/versions.txt" ] && [ "$(cat "$cache/versions.txt")" = "$pin_text" ]; then
  echo "windows-deps: $cache is up to date"
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# deb-src entries beside the deb ones, unless apt already has source indexes.
ensure_deb_src() {
  if apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx Sources; then return; fi
  local tmp
  tmp=$(mktemp)
  # deb822 files: every enabled stanza whose Types name deb, as deb-src.
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    case $f in */aucal-deb-src.sources) continue ;; esac
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*deb([ \t\n]|$)/ && !/(^|\n)Enabled:[ \t]*no/ {
           sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"$tmp"
  done
  $SUDO install -m 644 "$tmp" /etc/apt/sources.list.d/aucal-deb-src.sources
  # One-line entries.
  grep -hE '^deb[ \t]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed 's/^deb/deb-src/' >"$tmp" || true
  if [ -s "$tmp" ]; then $SUDO install -m 644 "$tmp" /etc/apt/sources.list.d/aucal-deb-src.list; fi
  rm -f "$tmp"
  $SUDO apt-get update -qq
}

# Fetches and unpacks one pinned source package into $cache/src/<package>.
fetch() {
  local package=$1 version=$2 sha=$3 dsc
  local dir=$cache/src/$package
  rm -rf "$dir" && mkdir -p "$dir"
  (cd "$dir" && apt-get source --download-only "$package=$version" >/dev/null 2>&1) ||
    { echo "windows-deps: apt-get source $package=$version failed" >&2; exit 1; }
  dsc=$(ls "$dir"/*.dsc)
  local got
  got=$(sha256sum "$dsc" | cut -d' ' -f1)
  if [ "$sha" != "$got" ]; then
    echo "windows-deps: $(basename "$dsc") has SHA-256 $got, pinned $sha" >&2
    exit 1
  fi
  # The keys that signed the .dsc are not on every machine: the pinned
  # SHA-256 above stands for the signature.
  dpkg-source -x "$dsc" "$dir/tree" >/dev/null 2>&1
}

cmake_build() {
  local dir=$1
  shift
  cmake -S "$dir" -B "$dir/build-win32" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$cache" -DBUILD_SHARED_LIBS=OFF "$@" >"$dir/configure.log" 2>&1 ||
    { tail -30 "$dir/configure.log"; exit 1; }
  cmake --build "$dir/build-win32" -j"${JOBS:-2}" >"$dir/build.log" 2>&1 || { tail -30 "$dir/build.log"; exit 1; }
  cmake --install "$dir/build-win32" >/dev/null
}

ensure_deb_src
rm -rf "$cache" && mkdir -p "$cache/include" "$cache/lib"
for pin in "${pins[@]}"; do
  read -r package version sha <<<"$pin"
  echo "windows-deps: $package $version"
  fetch "$package" "$version" "$sha"
  tree=$cache/src/$package/tree
  case $package in
    zlib)
      # Debian's zlib source has no Windows makefile: the library's sources
      # compiled as they are.
      (cd "$tree" && for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
                              inftrees trees uncompr zutil; do $host-gcc -O2 -c $c.c -o $c.o || exit 1; done &&
         $host-ar rcs libz.a ./*.o)
      cp "$tree/libz.a" "$cache/lib/" && cp "$tree/zlib.h" "$tree/zconf.h" "$cache/include/" ;;
    libjpeg-turbo)
      cmake_build "$tree" -DENABLE_SHARED=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF ;;
    libpng1.6)
      cmake_build "$tree" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DZLIB_LIBRARY="$cache/lib/libz.a" -DZLIB_INCLUDE_DIR="$cache/include" ;;
    tiff)
      cmake_build "$tree" -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF \
        -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Djbig=OFF -Dlerc=OFF -Dlibdeflate=OFF -Djpeg12=OFF \
        -DZLIB_LIBRARY="$cache/lib/libz.a" -DZLIB_INCLUDE_DIR="$cache/include" \
        -DJPEG_LIBRARY="$cache/lib/libjpeg.a" -DJPEG_INCLUDE_DIR="$cache/include" ;;
    lcms2)
      (cd "$tree" && ./configure --host=$host --prefix="$cache" --disable-shared --enable-static \
         --without-jpeg --without-tiff >configure.log 2>&1 && make -j"${JOBS:-2}" -C src >build.log 2>&1 &&
         make -C src install >/dev/null && make -C include install >/dev/null) ||
        { tail -30 "$tree"/*.log; exit 1; } ;;
  esac
done
# The five link together into one static Windows program.
probe=$cache/src/link_probe.c
cat >"$probe" <<'C'
#include <stdio.h> /* jpeglib.h needs FILE and size_t first */
#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>
int main(void) {
    struct jpeg_error_mgr error;
    return !(zlibVersion() && png_get_libpng_ver(NULL) && jpeg_std_error(&error) && TIFFGetVersion() &&
             cmsGetEncodedCMMversion() > 0);
}
C
$host-gcc -I"$cache/include" -o "${probe%.c}.exe" "$probe" -static -L"$cache/lib" -llcms2 -ltiff -ljpeg -lpng16 -lz -lm ||
  { echo "windows-deps: the libraries do not link together" >&2; exit 1; }
printf '%s\n' "$pin_text" >"$cache/versions.txt"
echo "windows-deps: built into $cache"
