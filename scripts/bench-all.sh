#!/usr/bin/env bash
# Every benchmark of the project in one run, and one table of what they
# measured: the picture cut (bench/cut_bench.cpp) against a memmem cut, a
# stepping loop and Python's re; the page request and the picture fetch
# against bare WinINet loops (scripts/bench-windows.sh); the whole job through
# orvalin.exe against the WinINet floor and curl, and the window's start-up
# (scripts/bench-e2e.sh); the size of orvalin.exe.
#
#   bash scripts/bench-all.sh
#
# Prints the table and writes it, with the date and the machine, to
# docs/performance.md. The benchmarks' own output goes to build/bench-all/.
# ROUNDS (default 15) sets the rounds of the whole job. It starts and stops
# the Windows tree's wineserver: do not run it while a test run uses
# build/windows.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=builds.sh
. "$here/builds.sh"

out="$ORVALIN_BUILD_ROOT/bench-all"
mkdir -p "$out"
rm -f "$out"/*.log "$out"/*.json
report="$ORVALIN_ROOT/bench/bench_report.py"

# step <name> <command...>: runs the command with its output in <name>.log;
# when it fails, shows the end of that log and stops.
step() {
  local name=$1 start
  shift
  echo "bench-all: $name" >&2
  start=$(date +%s)
  if ! "$@" >"$out/$name.log" 2>&1; then
    echo "bench-all: $name failed; the end of $out/$name.log:" >&2
    tail -n 30 "$out/$name.log" >&2
    exit 1
  fi
  echo "bench-all: $name took $(( $(date +%s) - start )) s" >>"$out/times.log"
}

build() {
  bash "$here/install-deps.sh"
  orvalin_build native
  orvalin_build windows
}
: >"$out/times.log"
step build build
tree="$ORVALIN_BUILD_ROOT/windows"

date=$(date -u)
quiet=$(python3 "$report" quiet)

step cut_bench "$ORVALIN_BUILD_ROOT/native/bench/cut_bench" --benchmark_repetitions=5 \
  --benchmark_min_time=0.3 --benchmark_out="$out/cut_bench.json" --benchmark_out_format=json
data_dir=$(sed -n 's/^ORVALIN_TEST_DATA_DIR:INTERNAL=//p' "$ORVALIN_BUILD_ROOT/native/CMakeCache.txt")
step python_re python3 "$report" re "$data_dir/offer_603454384329.html" "$out/python_re.json"
step bench-windows bash "$here/bench-windows.sh" "$tree"
step bench-e2e env ROUNDS="${ROUNDS:-15}" bash "$here/bench-e2e.sh" "$tree"

echo >&2
python3 "$report" table "$out" "$tree/src/app/orvalin.exe" "$ORVALIN_ROOT/docs/performance.md" \
  "$date" "$quiet"
echo >&2
echo "bench-all: written to docs/performance.md; the benchmarks' output is in $out" >&2
