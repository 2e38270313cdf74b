#!/usr/bin/env bash
# Assembles the Windows zip from the 32-bit build:
#   make-windows-zip.sh <source> <build-win32> <api.html> <version> <zip>
# aucal-<version>-win32/
#   bin/                aucal.exe qel_cms.dll scan.dll vexa.dll prescan.dll
#   simulated-scanner/  KASPI_SP.DLL and README.txt (when to use it)
#   include/            qel_cms.h qel_layout.h scan_driver.h platform/calling.h
#   def/                the export list of each DLL (plain names)
#   lib/mingw/          lib<dll>.dll.a import libraries (dlltool)
#   lib/msvc/           <dll>.lib import libraries (the same, named for link.exe)
#   example/            host_example.c
#   docs/               api.html, README.md
#   licenses/           the notices of the code compiled into the binaries
set -euo pipefail
source=$1 build=$2 api=$3 version=$4 zip=$(realpath -m "$5")
prefix=i686-w64-mingw32
name=aucal-$version-win32
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
stage=$scratch/$name
mkdir -p "$stage"/{bin,simulated-scanner,include/platform,def,lib/mingw,lib/msvc,example,docs,licenses}

dlls=(qel_cms scan vexa prescan)
defs=("$build/colour_engine/qel_cms.def" "$build/scanner_driver/scan.def" "$build/scanner_driver/vexa.def"
      "$build/scanner_driver/prescan.def")
for d in "${dlls[@]}"; do cp "$build/bin/$d.dll" "$stage/bin/"; done
cp "$build/bin/aucal.exe" "$stage/bin/"
for def in "${defs[@]}"; do cp "$def" "$stage/def/"; done
cp "$build/bin/KASPI_SP.DLL" "$stage/simulated-scanner/"
# Without their symbol tables: a third of the size, the same code.
$prefix-strip --strip-unneeded "$stage"/bin/*.dll "$stage/bin/aucal.exe" "$stage/simulated-scanner/KASPI_SP.DLL"
cp "$source/dist/windows/simulated-scanner.txt" "$stage/simulated-scanner/README.txt"
cp "$source"/colour_engine/include/qel_{cms,layout}.h "$source/scanner_driver/include/scan_driver.h" "$stage/include/"
cp "$source/platform/include/platform/calling.h" "$stage/include/platform/"
cp "$source/dist/example/host_example.c" "$stage/example/"
cp "$api" "$stage/docs/api.html"
cp "$source/README.md" "$stage/docs/"

# aucal.exe and the DLLs carry other projects' code, linked statically: their
# copyright and licence texts go with them, as those licences ask. The five
# image and colour libraries from the source packages windows-deps unpacked,
# the header-only and runtime parts from the cross compiler's machine.
notices=(
  "LittleCMS:$build/deps/src/lcms2/tree/debian/copyright"
  "libjpeg-turbo:$build/deps/src/libjpeg-turbo/tree/debian/copyright"
  "libpng:$build/deps/src/libpng1.6/tree/debian/copyright"
  "libtiff:$build/deps/src/tiff/tree/debian/copyright"
  "zlib:$build/deps/src/zlib/tree/debian/copyright"
  "CLI11:/usr/share/doc/libcli11-dev/copyright"
  "nlohmann-json:/usr/share/doc/nlohmann-json3-dev/copyright"
  "mingw-w64-runtime:/usr/share/doc/mingw-w64-i686-dev/copyright"
  "gcc-runtime:/usr/share/doc/gcc-mingw-w64-base/copyright"
)
for notice in "${notices[@]}"; do
  what=${notice%%:*} file=${notice#*:}
  [ -s "$file" ] || { echo "make-windows-zip: no licence text for $what at $file" >&2; exit 1; }
  cp "$file" "$stage/licenses/$what.txt"
done

# The names a C compiler gives the exports when it compiles against the
# headers (_Scan_Image@20 for the stdcall drivers, _InitCorrect for the
# engine): the import libraries must offer exactly those, mapped to the DLLs'
# plain names (dlltool --kill-at).
probe=$scratch/probe.c
{
  echo '#include "qel_cms.h"'
  echo '#include "scan_driver.h"'
  echo 'void* const exports[] = {'
  for def in "${defs[@]}"; do grep -E '^ +[A-Za-z_]' "$def" | sed 's/^ *\(.*\)$/  (void*)\1,/'; done
  echo '};'
} >"$probe"
$prefix-gcc -c -I"$stage/include" -o "$scratch/probe.o" "$probe"
symbols=$($prefix-nm -u "$scratch/probe.o")
for i in "${!dlls[@]}"; do
  d=${dlls[$i]} decorated=$scratch/${dlls[$i]}.def
  echo "EXPORTS" >"$decorated"
  for export in $(grep -E '^ +[A-Za-z_]' "${defs[$i]}"); do
    symbol=$(grep -oE " _${export}(@[0-9]+)?\$" <<<"$symbols" | sed 's/^ _//') ||
      { echo "no symbol for $export in the headers" >&2; exit 1; }
    echo "  $symbol" >>"$decorated"
  done
  $prefix-dlltool --kill-at --input-def "$decorated" --dllname "$d.dll" --output-lib "$stage/lib/mingw/lib$d.dll.a"
  cp "$stage/lib/mingw/lib$d.dll.a" "$stage/lib/msvc/$d.lib"
done

rm -f "$zip"
(cd "$scratch" && cmake -E tar cf "$zip" --format=zip "$name")
echo "wrote $zip ($(stat -c %s "$zip") bytes)"
