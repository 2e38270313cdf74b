#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a set time each, from seed
# corpora made by our own tools; fails on any crash or sanitizer report.
#   tools/run-fuzzers.sh <fuzz build folder> <seconds per target>
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
corpus="$build/corpus"
artifacts="$build/artifacts"
mkdir -p "$corpus" "$artifacts"
"$build/bin/make_seeds" "$corpus"
status=0
for fuzzer in "$build"/bin/*_fuzz; do
  name=$(basename "$fuzzer" _fuzz)
  mkdir -p "$corpus/$name"
  log="$build/$name.fuzz.log"
  echo "fuzz: $name for ${seconds}s"
  if ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      "$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 -max_len=150000 \
      -artifact_prefix="$artifacts/$name-" "$corpus/$name" > "$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    echo "fuzz: $name clean, $runs executions, corpus $(ls "$corpus/$name" | wc -l) files"
  else
    echo "fuzz: $name FAILED (log: $log)"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
