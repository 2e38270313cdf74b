#!/usr/bin/env bash
# Writes aucal's manual page from its own help, so the two cannot drift apart:
# the synopsis and options from `aucal --help` (help2man), and a COMMANDS
# section with the help of every subcommand.
#   make-man-page.sh <aucal> <aucal.1.gz> <version>
set -euo pipefail
aucal=$1 out=$2 version=$3
include=$(mktemp)
trap 'rm -f "$include"' EXIT
{
  echo "[COMMANDS]"
  for command in $("$aucal" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }'); do
    echo ".SS $command"
    echo ".nf"
    # Backslashes and leading dots are roff's own.
    "$aucal" "$command" --help | sed -e 's/\\/\\e/g' -e 's/^\./\\\&./'
    echo ".fi"
  done
  echo "[FILES]"
  echo "The engine, the drivers and the simulated pass-through library KASPI_SP.DLL are in"
  echo ".I lib/aucal"
  echo "beside the folder of the program; AUCAL_LIBDIR names another folder."
  echo "Without --windir, the scanner commands use the Windows directory named by AUCAL_WINDIR,"
  echo "else /tmp/aucal-windows-<uid>."
} > "$include"
help2man --no-info --version-string="$version" --name="scanner, monitor and printer calibration" \
  --include="$include" "$aucal" | gzip -9n > "$out"
