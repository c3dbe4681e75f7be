#!/usr/bin/env bash
# Builds the program: the Windows build (the product) and the native build,
# in the same trees scripts/test.sh uses. Then runs orvalin.exe once on a
# local copy of the marketplace (scripts/demo.sh).
#
#   bash scripts/build.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=builds.sh
. "$here/builds.sh"

bash "$here/install-deps.sh"
orvalin_build windows
orvalin_build native

# The programs each tree built (not CMake's, GoogleTest's or Wine's own, nor
# the copies an end-to-end run works with).
list_programs() {
  find "$1" \( -name CMakeFiles -o -name googletest -o -name wineprefix -o -name locale \
    -o -path '*/e2e/run' \) -prune \
    -o -type f -perm -u+x -print | sort | sed 's/^/  /'
}
echo
echo "Windows build: $ORVALIN_BUILD_ROOT/windows"
list_programs "$ORVALIN_BUILD_ROOT/windows"
echo "Native build:  $ORVALIN_BUILD_ROOT/native"
list_programs "$ORVALIN_BUILD_ROOT/native"
echo
orvalin_timed "demo" bash "$here/demo.sh"
orvalin_print_timings
