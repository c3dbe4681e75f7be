#!/usr/bin/env bash
# Builds the program: the Windows build (the product) and the native build,
# in the same trees scripts/test.sh uses.
#
#   bash scripts/build.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=builds.sh
. "$here/builds.sh"

bash "$here/install-deps.sh"
orvalin_build windows
orvalin_build native

echo
echo "Windows build: $ORVALIN_BUILD_ROOT/windows"
find "$ORVALIN_BUILD_ROOT/windows" -name CMakeFiles -prune -o -name '*.exe' -type f -print | sort | sed 's/^/  /'
echo "Native build:  $ORVALIN_BUILD_ROOT/native"
find "$ORVALIN_BUILD_ROOT/native" -name CMakeFiles -prune -o -type f -perm -u+x -print | sort | sed 's/^/  /'
orvalin_print_timings
