# Sourced by the Wine tests. Some Linux kernels are built without 32-bit
# program support (no IA-32 emulation): there Wine's 32-bit loader and server
# fail with "Exec format error" and no Windows program of ours can start.
# Such a machine cannot run these tests at all, so they report themselves
# skipped (CTest's SKIP_RETURN_CODE, 77) with the reason, rather than failing
# as if the Windows build were at fault. Wherever the kernel runs 32-bit
# programs, the tests run in full.
skip_unless_win32_runs() {
  local probe out
  command -v wine >/dev/null || return 0 # each test names a missing Wine itself
  for probe in wine wineserver; do
    out=$("$probe" --version 2>&1) && continue
    case $out in
      *"Exec format error"*)
        echo "SKIPPED: this machine's kernel cannot run 32-bit programs ($probe --version: $(printf '%s' "$out" | head -n 1)), so the 32-bit Windows build cannot run under Wine here" >&2
        exit 77
        ;;
    esac
  done
}
