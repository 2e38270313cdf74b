#!/usr/bin/env bash
# The export check of the wine tests on DLLs made here with the mingw
# toolchain: plain names matching the .def pass; a decorated stdcall name, a
# name missing from the .def and a DLL needing the shared C++ runtime fail.
set -u
session="$(cd "$(dirname "$0")" && pwd)/wine_session.sh"
cxx=i686-w64-mingw32-g++-posix
command -v $cxx >/dev/null || { echo "$cxx is missing"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() {  # expect <description> <condition>
  if ! eval "$2"; then echo "FAILED: $1"; failures=$((failures + 1)); fi
}
# A Windows build as the check expects it: bin/ with the host and the DLLs.
layout() { rm -rf "$work/b"; mkdir -p "$work/b/bin"; : >"$work/b/bin/wine_host.exe"; }
src="$work/probe.cpp"
cat >"$src" <<'CPP'
extern "C" int __stdcall Probe(int a, int b) { return a + b; }
extern "C" int Other(int a) { return a; }
CPP

layout
printf 'EXPORTS\n  Probe\n  Other\n' >"$work/b/probe.def"
$cxx -shared -static -O1 -o "$work/b/bin/probe.dll" "$src" "$work/b/probe.def" -Wl,--kill-at,--enable-stdcall-fixup || exit 1
out=$(bash "$session" exports "$work/b" 2>&1); rc=$?
expect "plain names as listed pass" '[ $rc -eq 0 ]'
expect "the exports are named" '[[ "$out" == *"exports Other Probe (as probe.def)"* ]]'

printf 'EXPORTS\n  Probe\n  Other\n  Missing\n' >"$work/b/probe.def"
out=$(bash "$session" exports "$work/b" 2>&1); rc=$?
expect "a listed name that is not exported fails" '[ $rc -ne 0 ] && [[ "$out" == *"exports differ from probe.def"* ]]'

layout
$cxx -shared -static -O1 -o "$work/b/bin/probe.dll" "$src" -Wl,--export-all-symbols || exit 1
out=$(bash "$session" exports "$work/b" 2>&1); rc=$?
expect "a decorated stdcall name fails" '[ $rc -ne 0 ] && [[ "$out" == *"decorated exports"* ]] && [[ "$out" == *"Probe@8"* ]]'

layout
printf 'EXPORTS\n  Probe\n  Other\n' >"$work/b/probe.def"
$cxx -shared -O1 -o "$work/b/bin/probe.dll" "$src" "$work/b/probe.def" -Wl,--kill-at,--enable-stdcall-fixup -static-libgcc -shared-libgcc \
  -Wl,-Bdynamic -lstdc++ || exit 1
out=$(bash "$session" exports "$work/b" 2>&1); rc=$?
expect "a DLL needing the shared C++ runtime fails" '[ $rc -ne 0 ] && [[ "$out" == *"needs DLLs that Windows does not provide"* ]]'

layout
out=$(bash "$session" exports "$work/b" 2>&1); rc=$?
expect "no DLL at all fails" '[ $rc -ne 0 ]'

echo "$failures failed"
[ $failures -eq 0 ]
