#!/usr/bin/env bash
# The Windows zip of <build-win32>, unpacked under <work>: its files; its
# example host compiled with MinGW against the zip's headers and run under
# Wine against the zip's DLLs and simulated scanner (a scan and a scanner
# characterisation); a program linked through the zip's import libraries run
# the same way. A Wine prefix of its own, so no other test's scenario files
# meet this one. The zip's files are checked even where Wine cannot run.
#   windows_zip_test.sh <build-win32> <work>
set -uo pipefail
build=$(realpath "$1") work=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$build/CMakeCache.txt" ] || fail "the Windows build is missing: $build (run 'make win32')"

rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work")
cmake --build "$build" --target windows-zip >"$work/zip.log" 2>&1 || { cat "$work/zip.log"; fail "windows-zip"; }
zip=$(ls "$build"/aucal-*-win32.zip | head -n 1)
echo "zip: $(basename "$zip"), $(stat -c %s "$zip") bytes"
(cd "$work" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
top=$(ls -d "$work"/aucal-*-win32)
for f in bin/aucal.exe bin/qel_cms.dll bin/scan.dll bin/vexa.dll bin/prescan.dll simulated-scanner/KASPI_SP.DLL \
         simulated-scanner/README.txt include/qel_cms.h include/qel_layout.h include/scan_driver.h include/platform/calling.h \
         def/qel_cms.def def/scan.def def/vexa.def def/prescan.def lib/mingw/libqel_cms.dll.a lib/mingw/libscan.dll.a \
         lib/mingw/libvexa.dll.a lib/mingw/libprescan.dll.a lib/msvc/qel_cms.lib lib/msvc/scan.lib lib/msvc/vexa.lib \
         lib/msvc/prescan.lib example/host_example.c docs/api.html docs/README.md licenses/LittleCMS.txt \
         licenses/libjpeg-turbo.txt licenses/libpng.txt licenses/libtiff.txt licenses/zlib.txt licenses/CLI11.txt \
         licenses/nlohmann-json.txt licenses/mingw-w64-runtime.txt licenses/gcc-runtime.txt; do
  [ -s "$top/$f" ] || fail "the zip lacks $f"
done
# The package is checked above wherever it is built; what follows runs it.
. "$(dirname "${BASH_SOURCE[0]}")/../wine/win32_probe.sh"
skip_unless_win32_runs

cc=i686-w64-mingw32-gcc
$cc -O2 -Wall -Wextra -Werror -I"$top/include" -o "$work/host_example.exe" "$top/example/host_example.c" ||
  fail "the example host does not compile"
# Through the import libraries: the loader must resolve every export, the
# stdcall ones included, by the DLLs' plain names.
cat >"$top/bin/import_check.c" <<'C'
#include <stdio.h>
#include "qel_cms.h"
#include "scan_driver.h"
int main(int argc, char** argv) {
    if (argc != 2) return 9;
    printf("Scan_Image %s, WarmUpProc %s\n", Scan_Image ? "bound" : "missing", WarmUpProc ? "bound" : "missing");
    return CreatTargetImage(argv[1]) != 0 || DonePercentage() != 0.0f;
}
C
$cc -O2 -I"$top/include" -o "$top/bin/import_check.exe" "$top/bin/import_check.c" -L"$top/lib/mingw" \
  -lqel_cms -lscan -lprescan || fail "linking through the import libraries"

export WINEPREFIX="$work/wineprefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb() { xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"; }
winpath() { local p; p=$(realpath -m "$1"); p=${p//\//\\}; printf 'Z:%s' "$p"; }
xvfb sh -c 'wineboot -i >/dev/null 2>&1 &&
            wine reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 &&
            wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /t REG_SZ /d N /f >/dev/null 2>&1;
            rc=$?; wineserver -w; exit $rc' || fail "wineboot"
# The simulated scanner where the scan driver looks for it, as its README says.
windows="$WINEPREFIX/drive_c/windows"
twain=$(find "$windows" -mindepth 1 -maxdepth 1 -iname twain_32 | head -n 1)
mkdir -p "${twain:-$windows/TWAIN_32}/KVSC_PRO"
cp "$top/simulated-scanner/KASPI_SP.DLL" "${twain:-$windows/TWAIN_32}/KVSC_PRO/"

mkdir -p "$work/out"
xvfb sh -c 'wine "$0" "$1" "$2"; rc=$?; wine "$3" "$4" || rc=1; wineserver -k; exit $rc' \
  "$work/host_example.exe" "$(winpath "$top/bin")" "$(winpath "$work/out")" \
  "$top/bin/import_check.exe" "$(winpath "$work/chart.tga")" | tr -d '\r' | tee "$work/run.log"
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "the example host or the import check failed under Wine"
[ "$(stat -c %s "$work/out/scanner.mdl" 2>/dev/null)" = 62184 ] || fail "the example host wrote no scanner model"
[ -s "$work/out/it8.tga" ] || fail "the example host wrote no scan"
[ "$(stat -c %s "$work/chart.tga" 2>/dev/null)" = 549138 ] || fail "the import check wrote no chart"
grep -q "Scan_Image bound, WarmUpProc bound" "$work/run.log" || fail "the drivers' exports were not bound"
