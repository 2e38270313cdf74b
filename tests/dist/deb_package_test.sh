#!/usr/bin/env bash
# Builds the Debian package of <build>, unpacks it into a scratch root under
# <work> (dpkg -x) and checks it as a user would meet it: its files, the
# installed aucal running the whole demo from there, the engine's pkg-config
# file, the manual page and the shell completion. Then installs <build> under
# a prefix of its own (cmake --install) and runs aucal from that prefix.
set -uo pipefail
build=$(realpath "$1") work=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work" && work=$(realpath "$work")
cmake --build "$build" --target dist-docs >"$work/docs.log" 2>&1 || { cat "$work/docs.log"; fail "dist-docs"; }
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/aucal_*.deb 2>/dev/null | head -n 1)
[ -f "$deb" ] || fail "no package in $work/pkg"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Package Version Architecture Depends

dpkg-deb -c "$deb" >"$work/contents.txt"
for f in usr/bin/aucal usr/lib/aucal/libqel_cms.so usr/lib/aucal/libscan.so usr/lib/aucal/libvexa.so \
         usr/lib/aucal/libprescan.so usr/lib/aucal/libaucal_platform.so usr/lib/aucal/KASPI_SP.DLL \
         usr/include/aucal/qel_cms.h usr/include/aucal/qel_layout.h usr/include/aucal/scan_driver.h usr/include/aucal/platform/calling.h \
         usr/lib/pkgconfig/qel_cms.pc usr/share/man/man1/aucal.1.gz usr/share/bash-completion/completions/aucal \
         usr/share/doc/aucal/api.html usr/share/doc/aucal/README.md usr/share/doc/aucal/third-party/CLI11.txt \
         usr/share/doc/aucal/third-party/nlohmann-json.txt; do
  grep -q " \./$f\$" "$work/contents.txt" || fail "the package lacks /$f"
done

root="$work/root"
dpkg -x "$deb" "$root" || fail "dpkg -x"
aucal="$root/usr/bin/aucal"
for f in "$aucal" "$root"/usr/lib/aucal/*.so; do
  readelf -d "$f" | grep -E 'RUNPATH|RPATH' | grep -q "$build" && fail "$f has a run path into the build tree"
done
help=$("$aucal" --help) || fail "aucal --help"
grep -q '^Usage: aucal ' <<<"$help" || fail "help does not name aucal: $help"
grep -q "$root" <<<"$help" && fail "help shows the path it was started by"

# The whole calibration from the unpacked package, from a folder of its own.
(cd "$work" && "$aucal" --quiet demo --out "$work/demo") || fail "aucal demo from the package"
for f in it8-scan.tga it8-reference.txt scanner.mdl monitor.blk printer-chart.tga printed-chart-scan.tga printer.blk \
         printer-from-table.blk sample-printer.png scanner.icc printer-link.icc monitor.icc report.html; do
  [ -s "$work/demo/$f" ] || fail "the demo wrote no $f"
done

# The engine through its pkg-config file: CreatTargetImage writes the chart.
export PKG_CONFIG_PATH="$root/usr/lib/pkgconfig"
printf '#include <qel_cms.h>\nint main(int c, char** v) { return c == 2 ? CreatTargetImage(v[1]) : 9; }\n' >"$work/chart.c"
cc -o "$work/chart" "$work/chart.c" $(pkg-config --cflags --libs qel_cms) || fail "compiling against qel_cms.pc"
"$work/chart" "$work/chart.tga" || fail "the engine from the package"
[ "$(stat -c %s "$work/chart.tga")" = 549138 ] || fail "the chart written through the package's engine is not 549138 bytes"

# The manual page holds every subcommand; completion offers them and their options.
man=$(zcat "$root/usr/share/man/man1/aucal.1.gz")
for c in $("$aucal" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }'); do
  grep -q "^\.SS $c\$" <<<"$man" || fail "the manual page lacks the command $c"
done
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _aucal; echo "${COMPREPLY[*]}"' \
    _ "$root/usr/share/bash-completion/completions/aucal" "$@"
}
[ "$(complete_words "$aucal" sc)" = "scanner scan" ] || fail "completion of 'sc': $(complete_words "$aucal" sc)"
[ "$(complete_words "$aucal" scan --dr)" = "--driver" ] || fail "completion of 'scan --dr'"

# A prefix installation finds its libraries and the simulated scanner.
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
"$work/prefix/bin/aucal" scan --output "$work/prefix-scan.tga" || fail "aucal scan from the prefix"
[ -s "$work/prefix-scan.tga" ] || fail "aucal scan from the prefix wrote nothing"
