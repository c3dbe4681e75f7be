#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds the four trees under
# build/ (see scripts/builds.sh) and runs all their tests in one ctest run.
# The exit code is ctest's.
#
#   bash scripts/test.sh
#   ORVALIN_FUZZ_SECONDS=10 bash scripts/test.sh     shorter fuzz smoke
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=builds.sh
. "$here/builds.sh"
# shellcheck source=wine-prefix.sh
. "$here/wine-prefix.sh"
# shellcheck source=display.sh
. "$here/display.sh"

if [[ "${CI:-}" == "true" ]]; then
  # Nothing may wait for input.
  export DEBIAN_FRONTEND=noninteractive
  exec </dev/null
fi

total_start=$(date +%s)
orvalin_timed "install deps" bash "$here/install-deps.sh"

# Wine for the Windows tests: the prefix of build/windows. Making it takes
# ~12 s spent mostly waiting on Wine, so it happens while the builds run.
orvalin_wine_env "$ORVALIN_BUILD_ROOT/windows"
prepare_log="$ORVALIN_BUILD_ROOT/windows/wine-prepare.out"
orvalin_wine_prepare >"$prepare_log" 2>&1 &
prepare_pid=$!
# Whatever happens, leave no Wine process of this prefix behind.
trap 'orvalin_display_stop; wait; orvalin_wine_stop_server' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

for build in native asan windows fuzz; do
  orvalin_build "$build"
done

if ! orvalin_timed "wine prefix (wait)" wait "$prepare_pid"; then
  cat "$prepare_log" >&2
  exit 1
fi
cat "$prepare_log"
# The window tests draw on a private X display.
orvalin_timed "display start" orvalin_display_start
# The wineserver runs before ctest starts (see orvalin_wine_start_server).
orvalin_timed "wineserver start" orvalin_wine_start_server

# One ctest over the four trees, so the run ends with a single summary.
cat >"$ORVALIN_BUILD_ROOT/CTestTestfile.cmake" <<'CTEST'
# Written by scripts/test.sh: runs the tests of all four build trees at once.
subdirs("native" "asan" "windows" "fuzz")
CTEST

# ctest starts the tests it knows to be long first, from the durations of
# earlier runs. A fresh tree has none, and the longest tests (the real program
# under load, the stalled server, the fuzz smokes) would start last and run
# alone: tell ctest about them.
cost_data="$ORVALIN_BUILD_ROOT/Testing/Temporary/CTestCostData.txt"
if [[ ! -f "$cost_data" ]]; then
  mkdir -p "$(dirname "$cost_data")"
  {
    printf 'win.e2e.load 1 90\n'
    printf 'win.FetchFaults.AStalledServerIsGivenUpOnAfterTheTimeOut 1 30\n'
    printf 'win.e2e.orvalin_exe 1 20\n'
    for area in text url cookie request; do
      printf 'fuzz.%s_smoke 1 %s\n' "$area" "${ORVALIN_FUZZ_SECONDS:-15}"
    done
  } >"$cost_data"
  echo --- >>"$cost_data"
fi

echo "==== ctest"
rc=0
# --timeout only bounds tests that set no TIMEOUT of their own, so a hung Wine
# program cannot stall the run.
orvalin_timed "ctest" ctest --test-dir "$ORVALIN_BUILD_ROOT" --output-on-failure \
  --no-tests=error --timeout 300 -j "$ORVALIN_JOBS" || rc=$?

orvalin_print_timings
echo "  total                $(( $(date +%s) - total_start )) s"
exit $rc
