#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build, one after the other, for SECONDS each.
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

while read -r name seeds dict; do
  corpus="$build/fuzz/corpus/$name"
  [ "$mode" = seeds ] && corpus="$scratch/$name"
  mkdir -p "$corpus" "$artifacts/$name"
  options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$artifacts/$name/")
  [ -n "${dict:-}" ] && options+=(-dict="$dict")
  log="$artifacts/$name/last-run.log"
  printf '%-18s ' "$name"
  if "$build/bin/fuzz_$name" "${options[@]}" "$corpus" "$seeds" >"$log" 2>&1; then
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "clean, ${executions:-?} executions in ${seconds} s"
  else
    echo "FAILED"
    grep -E 'fuzz check failed|ERROR: |SUMMARY: ' "$log" | head -5 >&2 || true
    reproducer=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    echo "log: $log" >&2
    echo "reproducer: ${reproducer:-(none written; see the log)}" >&2
    echo "replay it with: $build/bin/fuzz_$name ${reproducer:-INPUT}" >&2
    echo "once fixed, keep it: cp ${reproducer:-INPUT} tests/data/fuzz-regressions/$name/NAME" >&2
    exit 1
  fi
done <"$list"
