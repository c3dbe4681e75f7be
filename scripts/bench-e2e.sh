#!/usr/bin/env bash
# One whole download job through the real orvalin.exe, under Wine against the
# local marketplace (tests/e2e/local_marketplace.sh): the real 3.7 MB page of
# product 603454384329 and its 16 pictures of about 200 KB. In the same run,
# for comparison:
#   - the bare WinINet floor (tests/e2e/wininet_floor.cpp): the same page and
#     pictures fetched one after another by the shortest WinINet code making
#     the requests the program must make (its own session for the page,
#     "HTTP/1.1", 1024-byte reads; "HTTP/1.0" pictures, a connection each):
#     the goal's yardstick; and, for reference, the fastest WinINet allows
#     (one session, connections reused, 64 KB reads);
#   - curl over the same addresses, natively, for reference;
#   - the window's start-up: from starting orvalin.exe until its window is
#     visible with all its controls.
# A job is timed from the click until status part 1 shows "完成！". The first
# job of a process also pays for setting up WinINet and TLS (under Wine, some
# 0.3 s), so each round starts a fresh program and runs two jobs, and a fresh
# floor process that fetches everything twice: first against first, second
# against second. Each figure is the best of its rounds.
#
#   bash scripts/bench-e2e.sh               builds and uses build/windows
#   bash scripts/bench-e2e.sh <build dir>   uses that built Windows tree
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=builds.sh
. "$here/builds.sh"
# shellcheck source=../tests/e2e/local_marketplace.sh
. "$ORVALIN_ROOT/tests/e2e/local_marketplace.sh"

rounds=${ROUNDS:-5}
product=603454384329

if [[ -z "${ORVALIN_IN_MARKETPLACE_NAMESPACE:-}" ]]; then
  tree=$(orvalin_windows_tree "$@")
  # A private display: the benchmark opens and closes windows.
  unset DISPLAY
  orvalin_marketplace_enter "$tree"
fi
tree=$1

work=$(mktemp -d "$tree/bench-e2e.XXXXXX")
cleanup() {
  orvalin_marketplace_stop
  rm -rf "$work"
}
trap cleanup EXIT
orvalin_marketplace_start "$tree" "$work"
mkdir "$work/program"
cp "$tree/src/app/orvalin.exe" "$work/program/"

page="https://detail.1688.com/offer/$product.html"
pictures="$tree/tests/data/offer_$product.pictures.txt"

best_of() { printf '%s\n' "$@" | sort -g | head -n 1; }
milliseconds_since() {
  local us=$(( ($(date +%s%N) - $1) / 1000 ))
  printf '%d.%d' $((us / 1000)) $((us % 1000 / 100))
}

# run_floor <mode>: one fresh floor process, two rounds; their times in floor.
run_floor() {
  if ! orvalin_wine "$ORVALIN_E2E_BIN/wininet_floor.exe" "$1" 2 "$page" \
      "$(orvalin_windows_path "$pictures")" >"$work/floor"; then
    cat "$work/floor"
    echo "bench: the WinINet floor ($1) failed" >&2
    exit 1
  fi
  mapfile -t floor < <(tr -d '\r' <"$work/floor" | awk '$1 == "round" { print $2 }')
}

curl_args=(-sS --fail --cacert "$ORVALIN_MARKET_CERTS/ca.pem" -o /dev/null "$page")
while read -r address; do curl_args+=(-o /dev/null "$address"); done <"$pictures"

echo "==== orvalin.exe, the bare WinINet floor and curl, $rounds rounds"
startup=() first_job=() later_job=() first_floor=() later_floor=() curl_run=()
first_fastest=() later_fastest=()
for round in $(seq "$rounds"); do
  rm -rf "$work/program/0" "$work/program/00"
  orvalin_drive start "$(orvalin_windows_path "$work/program/orvalin.exe")"
  startup+=("$(orvalin_driven startup)")
  orvalin_drive job "$product" "完成！"
  first_job+=("$(orvalin_driven job)")
  orvalin_drive job "$product" "完成！"
  later_job+=("$(orvalin_driven job)")
  orvalin_drive close

  run_floor same
  first_floor+=("${floor[0]}")
  later_floor+=("${floor[1]}")
  run_floor fastest
  first_fastest+=("${floor[0]}")
  later_fastest+=("${floor[1]}")

  start=$(date +%s%N)
  curl "${curl_args[@]}"
  curl_run+=("$(milliseconds_since "$start")")
  echo "round $round: start-up ${startup[-1]} ms;" \
    "jobs ${first_job[-1]} and ${later_job[-1]} ms;" \
    "floor ${first_floor[-1]} and ${later_floor[-1]} ms;" \
    "fastest ${first_fastest[-1]} and ${later_fastest[-1]} ms; curl ${curl_run[-1]} ms"
done

bytes=$(tr -d '\r' <"$work/floor" | awk '$1 == "round" { print $3; exit }')
awk -v bytes="$bytes" -v rounds="$rounds" \
    -v job1="$(best_of "${first_job[@]}")" -v job2="$(best_of "${later_job[@]}")" \
    -v floor1="$(best_of "${first_floor[@]}")" -v floor2="$(best_of "${later_floor[@]}")" \
    -v fast1="$(best_of "${first_fastest[@]}")" -v fast2="$(best_of "${later_fastest[@]}")" \
    -v curl="$(best_of "${curl_run[@]}")" -v startup="$(best_of "${startup[@]}")" 'BEGIN {
  printf "RESULT page and 16 pictures, %.1f MB; best of %d rounds:\n", bytes / 1e6, rounds
  printf "RESULT                        first job   later job\n"
  printf "RESULT   orvalin.exe          %7.1f ms  %7.1f ms\n", job1, job2
  printf "RESULT   bare WinINet floor   %7.1f ms  %7.1f ms\n", floor1, floor2
  printf "RESULT   ratio (goal <= 1.2)  %7.2f     %7.2f\n", job1 / floor1, job2 / floor2
  printf "RESULT   fastest WinINet      %7.1f ms  %7.1f ms\n", fast1, fast2
  printf "RESULT   ratio to fastest     %7.2f     %7.2f\n", job1 / fast1, job2 / fast2
  printf "RESULT curl (native, one process) %.1f ms\n", curl
  printf "RESULT window start-up            %.1f ms\n", startup
}'
