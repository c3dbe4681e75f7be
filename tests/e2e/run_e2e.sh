#!/usr/bin/env bash
# The real orvalin.exe end to end (ctest: win.e2e.orvalin_exe), under Wine
# against the local marketplace (local_marketplace.sh), driven from another
# process by driver.exe the way a user drives it:
#
#   1. a real product page: "图片数量：16", then "完成！"; the files of job
#      folder 0 are, byte for byte, the 16 pictures served in page order
#   2. a second job, on a made-up page whose second picture is cut off: job
#      folder 00 holds the first picture whole and an empty second one, and
#      the end text says that one of the two pictures was not saved
#   3. closing the window ends the program and opens the home page once
#
# A screenshot of the window after the first job stays in
# <build dir>/tests/e2e/window.png.
#
#   bash tests/e2e/run_e2e.sh <Windows build dir>
set -euo pipefail
tree=$(cd "$1" && pwd)
# shellcheck source=local_marketplace.sh
. "$(dirname "${BASH_SOURCE[0]}")/local_marketplace.sh"
# An X display of its own, so that the screenshot shows this run's window
# and no other test's.
unset DISPLAY
orvalin_marketplace_enter "$@"

run="$tree/tests/e2e/run"
rm -rf "$run"
mkdir -p "$run/program" "$run/expected"
trap orvalin_marketplace_stop EXIT
orvalin_marketplace_start "$tree" "$run"
cp "$tree/src/app/orvalin.exe" "$run/program/"

# shellcheck source=checks.sh
. "$ORVALIN_ROOT/tests/e2e/checks.sh"

# Whole folders compared: the same file names, each byte for byte.
check_folder() {  # check_folder <job folder>
  check "folder $1: the pictures served, byte for byte" "" \
    "$(diff -r "$run/expected/$1" "$run/program/$1" 2>&1)"
}

orvalin_drive start "$(orvalin_windows_path "$run/program/orvalin.exe")"
read -r left top width height <<<"$(orvalin_driven window)"

mapfile -t pictures <"$tree/tests/data/offer_603454384329.pictures.txt"
python3 "$ORVALIN_ROOT/tests/e2e/marketplace.py" pictures "$run/expected/0" "${pictures[@]}"
orvalin_drive job 603454384329 "完成！"
check "first job: count" "图片数量：16" "$(orvalin_driven part0)"
check "first job: end text" "完成！" "$(orvalin_driven part1)"
check_folder 0
import -window root -crop "${width}x${height}+${left}+${top}" +repage "$tree/tests/e2e/window.png"

python3 "$ORVALIN_ROOT/tests/e2e/marketplace.py" pictures "$run/expected/00" \
  https://cbu01.alicdn.com/img/ibank/made-up-1.jpg
: >"$run/expected/00/2.jpg"
orvalin_drive job one-picture-cut-off "有1张图片未能保存（共2张）"
check "second job: count" "图片数量：2" "$(orvalin_driven part0)"
check "second job: end text" "有1张图片未能保存（共2张）" "$(orvalin_driven part1)"
check_folder 00

orvalin_drive close
check "the program ended" "0" "$(orvalin_driven exited)"
for _ in $(seq 200); do
  [[ -s "$ORVALIN_BROWSER_RECORD" ]] && break
  sleep 0.05
done
check "home page opened once" "http://orvalin.example" "$(cat "$ORVALIN_BROWSER_RECORD" 2>&1)"

echo "screenshot: $tree/tests/e2e/window.png"
[[ $failures -eq 0 ]]
