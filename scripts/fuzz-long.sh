#!/usr/bin/env bash
# The long local fuzz campaign: runs every fuzz target of build/fuzz (built
# with ASan and UBSan) for a number of executions each, then folds what each
# run found into its committed corpus under tests/fuzz/corpus/, keeping only
# the inputs that add coverage. Prints libFuzzer's execution count per target.
#
#   bash scripts/fuzz-long.sh               10 million executions per target
#   FUZZ_RUNS=100000 bash scripts/fuzz-long.sh
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/builds.sh"
runs=${FUZZ_RUNS:-10000000}
# Short inputs keep each execution fast; the smoke tests in ctest go to 4096.
max_len=${FUZZ_MAX_LEN:-512}
orvalin_build fuzz

fuzz_dir="$ORVALIN_BUILD_ROOT/fuzz/tests/fuzz"
corpus_root="$ORVALIN_ROOT/tests/fuzz/corpus"
log_dir="$ORVALIN_BUILD_ROOT/fuzz/long-run"
mkdir -p "$log_dir"

for area in text url cookie request; do
  work="$log_dir/$area"
  mkdir -p "$work"
  echo "==== $area: $runs executions"
  "$fuzz_dir/${area}_fuzz" -runs="$runs" -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$log_dir/$area-" "$work" "$corpus_root/$area" >"$log_dir/$area.log" 2>&1
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log_dir/$area.log"
  # Keep the committed corpus small: only inputs that add coverage go in.
  "$fuzz_dir/${area}_fuzz" -merge=1 -max_len="$max_len" "$corpus_root/$area" "$work" >>"$log_dir/$area.log" 2>&1
  echo "corpus $area: $(ls "$corpus_root/$area" | wc -l) inputs"
done
