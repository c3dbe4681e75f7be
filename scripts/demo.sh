#!/usr/bin/env bash
# Runs orvalin.exe the way a user does, on a local copy of the marketplace:
# types the sample product 603454384329 (one of the saved pages of
# tests/data), presses the start button, and prints where the pictures were
# saved. scripts/build.sh runs it after building.
#
#   bash scripts/demo.sh
#
# With a display of the user's (DISPLAY naming a local X server), the window
# stays open there until the user closes it. Without one, the program runs on
# a private Xvfb and is closed when the job is done. Everything runs in a
# private network namespace (tests/e2e/local_marketplace.sh): the program
# only ever reaches the local copy.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=builds.sh
. "$here/builds.sh"
# shellcheck source=../tests/e2e/local_marketplace.sh
. "$ORVALIN_ROOT/tests/e2e/local_marketplace.sh"

product=603454384329
tree="$ORVALIN_BUILD_ROOT/windows"
demo="$ORVALIN_BUILD_ROOT/demo"

# An X server reached through its socket file; a TCP display (ssh -X, say)
# cannot be reached from inside the namespace.
local_display() {
  [[ "${DISPLAY:-}" =~ ^(unix)?:([0-9]+)(\.[0-9]+)?$ ]] && [[ -S "/tmp/.X11-unix/X${BASH_REMATCH[2]}" ]]
}

if [[ -z "${ORVALIN_IN_MARKETPLACE_NAMESPACE:-}" ]]; then
  if local_display; then
    export ORVALIN_DEMO_KEEP_OPEN=1
  elif [[ -n "${DISPLAY:-}" ]]; then
    echo "demo: DISPLAY=$DISPLAY cannot be reached from the namespace; using a private display"
  fi
  [[ -n "${ORVALIN_DEMO_KEEP_OPEN:-}" ]] || unset DISPLAY
fi
orvalin_marketplace_enter "$@"

rm -rf "$demo"
mkdir -p "$demo/orvalin"
trap orvalin_marketplace_stop EXIT
orvalin_marketplace_start "$tree" "$demo"
cp "$tree/src/app/orvalin.exe" "$demo/orvalin/"

echo "==== demo: orvalin.exe downloads the pictures of product $product"
orvalin_drive start "$(orvalin_windows_path "$demo/orvalin/orvalin.exe")"
orvalin_drive job "$product" "完成！"
echo "status bar: $(orvalin_driven part0) | $(orvalin_driven part1)"
count=$(find "$demo/orvalin/0" -name '*.jpg' | wc -l)
echo "saved $count pictures in $demo/orvalin/0"

if [[ -n "${ORVALIN_DEMO_KEEP_OPEN:-}" ]]; then
  echo "the window stays open on $DISPLAY: close it to end the demo"
  orvalin_drive wait
else
  orvalin_drive close
fi
for _ in $(seq 100); do
  [[ -s "$ORVALIN_BROWSER_RECORD" ]] && break
  sleep 0.05
done
echo "on closing, the program opened $(cat "$ORVALIN_BROWSER_RECORD" 2>/dev/null || echo nothing)" \
  "(a stand-in browser recorded it)"
