#!/usr/bin/env bash
# Runs a Windows program under Wine with the environment of one Windows build
# tree (its own prefix, code page 936, no proxies). The toolchain file makes
# this the build's CMAKE_CROSSCOMPILING_EMULATOR, so ctest runs tests with it.
#
#   scripts/wine-run.sh <build dir> <program.exe> [args...]
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=wine-prefix.sh
. "$here/wine-prefix.sh"
if [[ $# -lt 2 ]]; then
  echo "usage: $0 <build dir> <program.exe> [args...]" >&2
  exit 2
fi
orvalin_wine_env "$1"
shift
# Normally already done by scripts/test.sh; this makes a bare ctest work too.
orvalin_wine_prepare >&2
exec env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 "$ORVALIN_WINE" "$@"
