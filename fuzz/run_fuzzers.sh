#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for SECONDS each, JOBS of them at a time.
#
#   fuzz/run_fuzzers.sh BUILD SECONDS [corpus|seeds]
#
# corpus (the default) grows each target's corpus in BUILD/fuzz/corpus/NAME, starting from its
# seeds; seeds starts from the seeds alone and keeps nothing (the quick check of `make test`).
# Stops at the first failure and prints the input that reproduces it; that input belongs in
# tests/data/fuzz-regressions/NAME/ once the fault is fixed.
set -euo pipefail
build=$1
seconds=$2
mode=${3:-corpus}
list="$build/fuzz/targets.txt"
[ -s "$list" ] || { echo "no fuzz targets in $build (configure it with -DVLM_FUZZ=ON)" >&2; exit 2; }
artifacts="$build/fuzz/artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The targets' own scratch folders go here too, so a run that stops at a failure leaves none.
export TMPDIR="$scratch"

# Runs one target; prints one line for it, and on a failure what reproduces it.
run_one() {
  local name=$1 seeds=$2 dict=$3 flags=${4:-}
  local corpus="$build/fuzz/corpus/$name"
  [ "$mode" = seeds ] && corpus="$scratch/$name"
  mkdir -p "$corpus" "$artifacts/$name"
  local options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
                 -artifact_prefix="$artifacts/$name/")
  [ "$dict" != - ] && options+=(-dict="$dict")
  # The target's own flags (fuzz/CMakeLists.txt, OPTIONS), one word each.
  # shellcheck disable=SC2206
  options+=($flags)
  local log="$artifacts/$name/last-run.log"
  if "$build/bin/fuzz_$name" "${options[@]}" "$corpus" "$seeds" >"$log" 2>&1; then
    local executions
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    printf '%-18s clean, %s executions in %s s\n' "$name" "${executions:-?}" "$seconds"
  else
    printf '%-18s FAILED\n' "$name"
    {
      grep -E 'fuzz check failed|ERROR: |SUMMARY: ' "$log" | head -5 || true
      local reproducer
      reproducer=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
      echo "log: $log"
      echo "reproducer: ${reproducer:-(none written; see the log)}"
      echo "replay it with: $build/bin/fuzz_$name ${reproducer:-INPUT}"
      echo "once fixed, keep it: cp ${reproducer:-INPUT} tests/data/fuzz-regressions/$name/NAME"
    } >&2
    return 1
  fi
}

# JOBS targets run side by side (one per core by default); the first failure stops the rest.
jobs=${JOBS:-$(nproc)}
running=0
while read -r name seeds dict flags; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || { kill $(jobs -p) 2>/dev/null; wait; exit 1; }
    running=$((running - 1))
  fi
  run_one "$name" "$seeds" "$dict" "${flags:-}" &
  running=$((running + 1))
done <"$list"
while [ "$running" -gt 0 ]; do
  wait -n || { kill $(jobs -p) 2>/dev/null; wait; exit 1; }
  running=$((running - 1))
done
