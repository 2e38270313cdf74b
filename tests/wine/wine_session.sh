#!/usr/bin/env bash
# The steps of the wine tests (CTest runs each as one test):
#
#   wine_session.sh exports <win32-build>        exports and imports of every DLL
#   wine_session.sh prefix  <win32-build>        a fresh Wine prefix with our files
#   wine_session.sh native  <program> <libdir> <inputs> <outputs> [<kaspi-install>]
#   wine_session.sh host    <win32-build> <inputs> <outputs>
#   wine_session.sh compare <native-outputs> <wine-outputs>
#   wine_session.sh aucal   <win32-build> <native-aucal> <work>  aucal.exe against aucal
#
# The prefix is <win32-build>/wineprefix, made once per test run (wineboot),
# then used by every Windows program of the run under xvfb-run, so that
# windows and message boxes are real.
set -uo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/win32_probe.sh"

die() { echo "$*" >&2; exit 1; }

wine_env() {
  export WINEPREFIX="$(realpath -m "$1")/wineprefix"
  export WINEARCH=win32
  export WINEDEBUG=-all
  # No Mono and no Gecko: nothing of ours needs them, and offering to install
  # them costs start-up time and a dialog.
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# A display of its own, of the stand-in desktop's default screen size
# (1024 x 768), so that window placement is the same on both sides.
xvfb_run() { xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"; }

need_win32_build() {
  [ -f "$1/bin/wine_host.exe" ] ||
    die "the Windows build is missing: $1/bin/wine_host.exe (run 'make win32')"
}

# A Linux path as Wine's Z: drive sees it.
winpath() { local p; p=$(realpath -m "$1"); p=${p//\//\\}; printf 'Z:%s' "$p"; }

# Copies a file to a path under C:\windows of the prefix (backslashes or
# slashes), creating the folders.
# Folders that exist already are matched without regard to case, as Windows
# does (the prefix has twain_32, the drivers ask for TWAIN_32).
install_in_windir() {
  local src="$1" rel="${2//\\//}"
  local dst="$WINEPREFIX/drive_c/windows" part found
  IFS=/ read -r -a parts <<<"$rel"
  for part in "${parts[@]}"; do
    found=$(find "$dst" -mindepth 1 -maxdepth 1 -iname "$part" 2>/dev/null | head -n 1)
    dst=${found:-$dst/$part}
  done
  mkdir -p "$(dirname "$dst")" && cp -f "$src" "$dst" || die "cannot install $src as C:\\windows\\$2"
  echo "installed C:\\windows\\${rel//\//\\}"
}

cmd_exports() {
  local build="$1" objdump=i686-w64-mingw32-objdump status=0 found=0
  need_win32_build "$build"
  command -v $objdump >/dev/null || die "$objdump is missing"
  shopt -s nullglob nocaseglob
  for dll in "$build"/bin/*.dll; do
    found=1
    local name dump exports imports def
    name=$(basename "$dll")
    dump=$($objdump -p "$dll") || { echo "$name: objdump failed"; status=1; continue; }
    exports=$(printf '%s\n' "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
              sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort)
    imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
    # Undecorated names only: no _Name@N, no leading underscore.
    if printf '%s\n' "$exports" | grep -Eq '@|^_'; then
      echo "$name: decorated exports:"; printf '%s\n' "$exports" | grep -E '@|^_' | sed 's/^/  /'; status=1
    fi
    # Exactly the names of its export list, when the build made one.
    def=$(find "$build" -iname "$(basename "${dll%.*}").def" -not -path '*/wineprefix/*' | head -n 1)
    if [ -n "$def" ]; then
      local listed
      listed=$(sed -n 's/^[[:space:]]\{1,\}\([A-Za-z_][A-Za-z0-9_]*\).*/\1/p' "$def" | sort)
      if [ "$listed" != "$exports" ]; then
        echo "$name: exports differ from $(basename "$def"):"
        diff <(printf '%s\n' "$listed") <(printf '%s\n' "$exports") | sed 's/^/  /'
        status=1
      fi
    fi
    # The runtime is linked statically: system DLLs only.
    local foreign
    foreign=$(printf '%s\n' "$imports" | grep -Ev '^(KERNEL32|USER32|GDI32|ADVAPI32|MSVCRT|COMDLG32|SHELL32|COMCTL32|OLE32|VERSION|WINMM)\.DLL$' || true)
    if [ -n "$foreign" ]; then
      echo "$name: needs DLLs that Windows does not provide: $(echo $foreign)"; status=1
    fi
    echo "$name: exports $(echo $exports)${def:+ (as $(basename "$def"))}; imports $(echo $imports)"
  done
  [ $found -eq 1 ] || die "no DLL in $build/bin"
  return $status
}

cmd_prefix() {
  local build="$1"
  need_win32_build "$build"
  wine_env "$build"
  command -v wine >/dev/null || die "wine is missing (make deps)"
  command -v xvfb-run >/dev/null || die "xvfb-run is missing (make deps)"
  rm -rf "$WINEPREFIX"
  # The simulated pass-through library goes where each driver looks for it
  # (C:\windows\TWAIN_32\KVSC_PRO, KVSC_Z48, KVSC_A3), each with its default
  # scenario: the Windows build's own install tool does that, in the same Wine
  # session as wineboot.
  local installer=""
  [ -f "$build/bin/kaspi-install.exe" ] && installer="$build/bin/kaspi-install.exe"
  # No crash dialog: a fault in a program under test must end it, not wait
  # on a window that nobody closes. Unmanaged windows: with no window manager
  # on the display, Wine would wait 2 s for each top-level window that hides
  # (every message box).
  xvfb_run sh -c 'wineboot -i >/dev/null 2>&1 || exit 1
                     wine reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f \
                       >/dev/null 2>&1 || exit 1
                     wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /t REG_SZ /d N /f \
                       >/dev/null 2>&1 || exit 1
                     if [ -n "$0" ]; then wine "$0" || exit 2; fi
                     wineserver -w' "$installer"
  case $? in
    0) ;;
    2) die "kaspi-install.exe failed" ;;
    *) die "wineboot failed" ;;
  esac
  [ -d "$WINEPREFIX/drive_c/windows" ] || die "wineboot made no Windows directory in $WINEPREFIX"
  if [ -z "$installer" ]; then
    local sp
    sp=$(find "$build/bin" -maxdepth 1 -iname KASPI_SP.DLL | head -n 1)
    if [ -n "$sp" ]; then
      for dir in KVSC_PRO KVSC_Z48 KVSC_A3; do
        install_in_windir "$sp" "TWAIN_32\\$dir\\KASPI_SP.DLL"
      done
    fi
  fi
  # Further files that the Windows build asks for: "<file>|<path under C:\windows>".
  if [ -f "$build/wine_prefix_files.txt" ]; then
    local line
    while IFS= read -r line; do
      [ -n "$line" ] || continue
      install_in_windir "${line%%|*}" "${line#*|}"
    done <"$build/wine_prefix_files.txt"
  fi
}

# The native side's Windows directory (AUCAL_WINDIR) is a short folder under
# /tmp, as short as Wine's C:\windows is: the A3 driver refuses a library
# path longer than 67 characters, which a folder inside a deep build tree
# exceeds. <outputs>.windir names it; the simulated pass-through library is
# installed there by the native kaspi-install when the build has one.
cmd_native() {
  local program="$1" libdir="$2" inputs="$3" outputs="$4" installer="${5:-}"
  local link="$outputs.windir" windir
  if [ -L "$link" ]; then rm -rf "$(readlink "$link")"; fi
  rm -rf "$inputs" "$outputs" "$link"
  windir=$(mktemp -d /tmp/aucal-windir.XXXXXX)
  ln -s "$windir" "$link"
  mkdir -p "$inputs" "$outputs"
  if [ -n "$installer" ]; then
    "$installer" "$windir" >/dev/null || die "kaspi-install failed"
  fi
  AUCAL_WINDIR="$windir" "$program" --libdir "$libdir" --inputs "$inputs" --outputs "$outputs" --make-inputs \
    | tee "$outputs.txt"
  closed_clean "${PIPESTATUS[0]}" "$outputs.txt"
}

# A run passed when the program succeeded and its last line is the closing
# "N passed, 0 failed" (Wine may report success for a program that crashed).
closed_clean() {
  local rc="$1" log="$2" last
  last=$(tail -n 1 "$log")
  [ "$rc" -eq 0 ] || die "the run failed (status $rc)"
  [[ "$last" =~ ^[1-9][0-9]*\ passed,\ 0\ failed$ ]] || die "the run did not close with 'N passed, 0 failed'"
}

cmd_host() {
  local build="$1" inputs="$2" outputs="$3"
  need_win32_build "$build"
  wine_env "$build"
  [ -d "$WINEPREFIX/drive_c/windows" ] || die "no Wine prefix in $WINEPREFIX (the wine_prefix test makes it)"
  rm -rf "$outputs"
  mkdir -p "$outputs"
  # wineserver -k afterwards: the next program of the run starts on a clean
  # server, and nothing of Wine outlives the test.
  xvfb_run sh -c 'wine "$0" --inputs "$1" --outputs "$2"; rc=$?; wineserver -k; exit $rc' \
    "$build/bin/wine_host.exe" "$(winpath "$inputs")" "$(winpath "$outputs")" | tr -d '\r' | tee "$outputs.txt"
  closed_clean "${PIPESTATUS[0]}" "$outputs.txt"
}

cmd_compare() {
  local a="$1" b="$2" status=0 n=0
  [ -d "$a" ] || die "missing $a"
  [ -d "$b" ] || die "missing $b"
  local files
  files=$( (find "$a" -type f -printf '%P\n'; find "$b" -type f -printf '%P\n') | sort -u)
  [ -n "$files" ] || die "no output files in $a or $b"
  while IFS= read -r f; do
    n=$((n + 1))
    if [ ! -f "$a/$f" ]; then echo "$f: only in $b"; status=1; continue; fi
    if [ ! -f "$b/$f" ]; then echo "$f: only in $a"; status=1; continue; fi
    local sa sb
    sa=$(stat -c %s "$a/$f"); sb=$(stat -c %s "$b/$f")
    if ! cmp -s "$a/$f" "$b/$f"; then
      # cmp -l lists differing bytes (1-based offset, octal values).
      local first
      first=$(cmp -l "$a/$f" "$b/$f" 2>/dev/null | head -n 1)
      if [ -n "$first" ]; then
        set -- $first
        printf '%s: first difference at byte %d (0x%x): linux 0x%02x, windows 0x%02x (sizes %d, %d)\n' \
          "$f" $(($1 - 1)) $(($1 - 1)) $((8#$2)) $((8#$3)) "$sa" "$sb"
      else
        echo "$f: sizes differ ($sa, $sb), equal up to the shorter"
      fi
      status=1
    fi
  done <<<"$files"
  echo "compared $n files: $([ $status -eq 0 ] && echo all equal || echo differences found)"
  return $status
}

# A profile with what differs by the run's time masked: the header's date
# (bytes 24..35) and profile ID (84..99, an MD5 over the header and so over
# the date), and every date YYYY-MM-DD (ASCII, or UTF-16 with its zero bytes)
# in the text tags, as in the description.
masked_profile() {
  perl -0777 -pe 'substr($_, 24, 12) = "\0" x 12; substr($_, 84, 16) = "\0" x 16;
                  s/\d\0?\d\0?\d\0?\d\0?-\0?\d\0?\d\0?-\0?\d\0?\d/"D" x length($&)/ge' "$1"
}

# aucal.exe demo under Wine against aucal demo on Linux: the models, blocks,
# table, profiles (masked_profile), images (scans, charts, corrected
# samples) and patch files are byte for byte the same (in the patch files
# the creation time YYYY-MM-DDThh:mm:ssZ is masked too); the report pages are
# not compared (they hold timings and the output folder's path). The Windows
# demo writes into a folder whose name has a Latin and a CJK letter, which
# the libraries' narrow exports get as a short path. Then a few bad inputs
# give the same sentence and exit status on both sides, and a Ctrl-C (the
# console event Wine makes of SIGINT) during a long print leaves the
# existing output as it was, no temporary file, and exit status 130, as
# SIGINT does on Linux.
cmd_aucal() {
  local build="$1" native="$2" work="$3" status=0
  [ -f "$build/bin/aucal.exe" ] || die "the Windows build has no aucal.exe: $build/bin/aucal.exe (run 'make win32')"
  wine_env "$build"
  [ -d "$WINEPREFIX/drive_c/windows" ] || die "no Wine prefix in $WINEPREFIX (the wine_prefix test makes it)"
  # Wine converts the command line from the locale's character set.
  export LC_ALL=C.UTF-8
  rm -rf "$work" && mkdir -p "$work"
  local windows="$work/windows-dé校"
  "$native" -q demo --out "$work/linux" || die "aucal demo failed on Linux"
  # Relative paths from one folder on both sides, so that the sentences match.
  local rows=(
    "scanner --image missing-scan.tga --output m.mdl"
    "correct --block monitor.blk missing-picture.png --output y.png"
    "correct --block it8-reference.txt sample.png --output y.png"
    "scan --driver nope --output x.tga"
    "monitor --gamma 9 --out z.blk"
  )
  local row
  for row in "${rows[@]}"; do
    (cd "$work/linux" && "$native" $row >/dev/null 2>"$work/row.txt"; echo "status $?" >>"$work/row.txt")
    cat "$work/row.txt" >>"$work/linux-rows.txt"
  done
  # aucal.exe installs the simulated scanner with its own scenario where the
  # drivers look (C:\windows\TWAIN_32): the prefix's is put back afterwards
  # for the other wine tests.
  local twain
  twain=$(find "$WINEPREFIX/drive_c/windows" -mindepth 1 -maxdepth 1 -iname twain_32 | head -n 1)
  [ -n "$twain" ] && cp -a "$twain" "$work/twain_32.saved"
  # The print to cancel: its output exists and must stay as it is.
  mkdir -p "$work/cancel" && printf 'the print of last week' >"$work/cancel/printed.tga"
  local started=$SECONDS
  # One Wine session: the demo, each row in the Linux demo's folder, then the
  # print stopped by SIGINT once its temporary file is being written.
  xvfb_run sh -c 'exe="$1"; out="$2"; rows="$3"; cancel="$4"; shift 4
                  wine "$exe" -q demo --out "$out"; rc=$?
                  cd "$rows" && for row in "$@"; do
                    wine "$exe" $row >/dev/null 2>row.txt; echo "status $?" >>row.txt; cat row.txt; rm -f row.txt
                  done
                  cd "$cancel" || exit 1
                  wine "$exe" print --chart "$rows/printer-chart.tga" --dpi 1200 --output printed.tga \
                    >/dev/null 2>&1 &
                  pid=$!; n=0
                  until [ -n "$(find . -name ".printed.aucal-*" -size +0 2>/dev/null)" ] || [ $n -ge 6000 ]; do
                    sleep 0.01; n=$((n + 1))
                  done
                  kill -INT $pid; wait $pid; echo "cancel status $?"
                  wineserver -k; exit $rc' sh "$build/bin/aucal.exe" "$(winpath "$windows")" "$work/linux" \
    "$work/cancel" "${rows[@]}" >"$work/windows-rows.txt" || die "aucal.exe demo failed under Wine"
  echo "aucal.exe demo, ${#rows[@]} rows and a cancelled print under Wine: $((SECONDS - started)) s"
  local cancelled
  cancelled=$(tr -d '\r' <"$work/windows-rows.txt" | sed -n 's/^cancel status //p')
  sed -i '/^cancel status /d' "$work/windows-rows.txt"
  [ "$cancelled" = 130 ] || { echo "cancelled print: exit status '$cancelled', not 130"; status=1; }
  [ "$(ls -A "$work/cancel")" = printed.tga ] ||
    { echo "cancelled print: the folder holds $(ls -A "$work/cancel" | tr '\n' ' ')"; status=1; }
  [ "$(cat "$work/cancel/printed.tga")" = "the print of last week" ] ||
    { echo "cancelled print: the existing output was changed"; status=1; }
  if [ -n "$twain" ]; then rm -rf "$twain" && cp -a "$work/twain_32.saved" "$twain"; fi
  rm -f "$work/linux/row.txt"
  tr -d '\r' <"$work/windows-rows.txt" | diff "$work/linux-rows.txt" - || { echo "bad input: the sentences differ"; status=1; }
  local f n=0
  for f in $(cd "$work/linux" && ls *.mdl *.blk *.tbl *.icc *.tga *.png *.ti3 *.json it8-reference.txt); do
    n=$((n + 1))
    [ -f "$windows/$f" ] || { echo "$f: missing from the Windows demo"; status=1; continue; }
    case $f in
      *.icc) cmp -s <(masked_profile "$work/linux/$f") <(masked_profile "$windows/$f") ;;
      *.ti3 | *.json)
        cmp -s <(sed -E 's/[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z/T/g' "$work/linux/$f") \
               <(sed -E 's/[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z/T/g' "$windows/$f") ;;
      *) cmp "$work/linux/$f" "$windows/$f" ;;
    esac || { echo "$f: differs between Linux and Windows"; status=1; }
  done
  [ $n -ge 15 ] || { echo "only $n demo files to compare"; status=1; }
  echo "compared $n demo files: $([ $status -eq 0 ] && echo all equal || echo differences found)"
  return $status
}

cmd="${1:-}"
shift || true
# Every step but the static ones runs Windows programs, or compares their
# outputs (compare-wine: the Windows side's folder is what the host step
# wrote, so there is nothing to compare where it could not run; compare
# itself only compares two folders).
case "$cmd" in
  prefix | host | compare-wine | aucal) skip_unless_win32_runs ;;
esac
case "$cmd" in
  exports) cmd_exports "$@" ;;
  prefix) cmd_prefix "$@" ;;
  native) cmd_native "$@" ;;
  host) cmd_host "$@" ;;
  compare | compare-wine) cmd_compare "$@" ;;
  aucal) cmd_aucal "$@" ;;
  *) die "usage: $0 exports|prefix|native|host|compare|compare-wine|aucal ..." ;;
esac
