#!/usr/bin/env bash
# The output comparison of the wine tests on folders made here: equal folders
# pass; a changed byte, a file of one side only and a length difference each
# fail and are named.
set -u
session="$(cd "$(dirname "$0")" && pwd)/wine_session.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() {  # expect <description> <condition>
  if ! eval "$2"; then echo "FAILED: $1"; failures=$((failures + 1)); fi
}

mkdir -p "$work/a/sub" "$work/b/sub"
printf 'abcdef' >"$work/a/one.bin"; printf 'abcdef' >"$work/b/one.bin"
printf '\x00\x01\x02' >"$work/a/sub/two.bin"; printf '\x00\x01\x02' >"$work/b/sub/two.bin"
out=$(bash "$session" compare "$work/a" "$work/b"); rc=$?
expect "equal folders pass" '[ $rc -eq 0 ]'
expect "equal folders: both files counted" '[[ "$out" == *"compared 2 files: all equal"* ]]'

# Relative folders are compared as well as absolute ones: both sides listed.
out=$(cd "$work" && bash "$session" compare a b); rc=$?
expect "relative folders pass" '[ $rc -eq 0 ] && [[ "$out" == *"compared 2 files"* ]]'
printf 'y' >"$work/b/late.bin"
out=$(cd "$work" && bash "$session" compare a b); rc=$?
expect "relative folders: a file of the second side only is found" \
  '[ $rc -ne 0 ] && [[ "$out" == *"late.bin: only in b"* ]]'
rm "$work/b/late.bin"

printf '\x00\x7f\x02' >"$work/b/sub/two.bin"
printf 'x' >"$work/b/only_windows.bin"
printf 'abcdefg' >"$work/a/one.bin"
out=$(bash "$session" compare "$work/a" "$work/b"); rc=$?
expect "differences fail" '[ $rc -ne 0 ]'
expect "first differing byte named" \
  '[[ "$out" == *"sub/two.bin: first difference at byte 1 (0x1): linux 0x01, windows 0x7f"* ]]'
expect "file of one side named" '[[ "$out" == *"only_windows.bin: only in $work/b"* ]]'
expect "length difference named" '[[ "$out" == *"one.bin: sizes differ (7, 6)"* ]]'

out=$(bash "$session" compare "$work/a" "$work/missing" 2>&1); rc=$?
expect "a missing folder fails" '[ $rc -ne 0 ]'
mkdir -p "$work/e1" "$work/e2"
out=$(bash "$session" compare "$work/e1" "$work/e2" 2>&1); rc=$?
expect "two empty folders fail (nothing was produced)" '[ $rc -ne 0 ]'

echo "$failures failed"
[ $failures -eq 0 ]
