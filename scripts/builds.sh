# Sourced by build.sh and test.sh: the four build trees under build/ and how
# each is configured, so both commands share (and incrementally reuse) them.
#
#   native   g++, Release, tests and benchmarks      tests named native.*
#   asan     g++, AddressSanitizer + UBSan, tests    tests named asan.*
#   windows  MinGW-w64 g++, tests run under Wine     tests named win.*
#   fuzz     clang++, libFuzzer + ASan + UBSan       tests named fuzz.*_smoke

ORVALIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ORVALIN_BUILD_ROOT="$ORVALIN_ROOT/build"
ORVALIN_JOBS=$(nproc)

# One line per timed phase, printed by orvalin_print_timings.
ORVALIN_TIMINGS=()

# orvalin_timed <label> <command...>: runs the command and notes its duration.
orvalin_timed() {
  local label=$1 start rc=0 ms
  shift
  start=$(date +%s%N)
  "$@" || rc=$?
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  ORVALIN_TIMINGS+=("$(printf '%-20s %5d.%d s' "$label" $((ms / 1000)) $((ms % 1000 / 100)))")
  return $rc
}

orvalin_print_timings() {
  echo "---- timings"
  printf '  %s\n' "${ORVALIN_TIMINGS[@]}"
}

# orvalin_build <name>: configures (cheap when already configured) and builds
# one tree.
orvalin_build() {
  local name=$1 dir="$ORVALIN_BUILD_ROOT/$1"
  local args=()
  case $name in
    native)
      args=(-DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc -DCMAKE_BUILD_TYPE=Release
            -DORVALIN_TESTS=ON -DORVALIN_BENCH=ON -DORVALIN_TEST_PREFIX=native.) ;;
    asan)
      args=(-DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc -DCMAKE_BUILD_TYPE=RelWithDebInfo
            -DORVALIN_TESTS=ON -DORVALIN_SANITIZE=ON -DORVALIN_TEST_PREFIX=asan.) ;;
    windows)
      args=("-DCMAKE_TOOLCHAIN_FILE=$ORVALIN_ROOT/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release
            -DORVALIN_TESTS=ON -DORVALIN_TEST_PREFIX=win.) ;;
    fuzz)
      # Each fuzz smoke test runs for ORVALIN_FUZZ_SECONDS (default 15 s).
      args=(-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
            -DORVALIN_TESTS=OFF -DORVALIN_FUZZ=ON -DORVALIN_SANITIZE=ON "-DORVALIN_FUZZ_SECONDS=${ORVALIN_FUZZ_SECONDS:-15}") ;;
    *)
      echo "unknown build '$name'" >&2
      return 1 ;;
  esac
  echo "==== $name: configure"
  orvalin_timed "$name configure" cmake -S "$ORVALIN_ROOT" -B "$dir" "${args[@]}"
  echo "==== $name: build"
  orvalin_timed "$name build" cmake --build "$dir" -j "$ORVALIN_JOBS"
}

# orvalin_windows_tree [<build dir>]: prints the Windows tree a script works
# on: the one given, or build/windows after installing what is missing and
# building it. The building talks on stderr, so that the call can sit in $(...).
orvalin_windows_tree() {
  if [[ $# -ge 1 ]]; then
    (cd "$1" && pwd)
  else
    bash "$ORVALIN_ROOT/scripts/install-deps.sh" >&2
    orvalin_build windows >&2
    echo "$ORVALIN_BUILD_ROOT/windows"
  fi
}
