#!/usr/bin/env bash
# The Windows benchmarks, run under Wine against the tests' loopback script
# server: FetchPageText against a bare WinINet loop (a 4 MB page), then
# FetchUrlBytes against a bare WinINet loop (50 pictures of 200 KB, one of
# 50 MB), curl over the same addresses for reference, and the peak memory of
# fetching a 100 MB picture.
#
#   bash scripts/bench-windows.sh               builds and uses build/windows
#   bash scripts/bench-windows.sh <build dir>   uses that configured Windows tree
#
# It starts and stops the tree's wineserver, like scripts/test.sh: do not run
# it while a test run uses the same tree.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=builds.sh
. "$here/builds.sh"
# shellcheck source=wine-prefix.sh
. "$here/wine-prefix.sh"

tree=$(orvalin_windows_tree "$@")
cmake --build "$tree" -j "$ORVALIN_JOBS" --target picture_fetch_bench page_fetch_bench orvalin_test_certs
bench="$tree/bench/windows/picture_fetch_bench.exe"
support="$tree/tests/support"

work=$(mktemp -d)
serve_pid=
cleanup() {
  exec 3>&- 2>/dev/null || true
  if [[ -n "$serve_pid" ]]; then wait "$serve_pid" 2>/dev/null || true; fi
  python3 "$ORVALIN_ROOT/tests/support/script_server.py" stop --pid-file "$work/server.pid" \
    --log "$work/server.log" >/dev/null 2>&1 || true
  orvalin_wine_stop_server
  rm -rf "$work"
}
trap cleanup EXIT

orvalin_wine_env "$tree"
orvalin_wine_prepare
orvalin_wine_start_server
python3 "$ORVALIN_ROOT/tests/support/script_server.py" start --port-file "$work/server.port" \
  --pid-file "$work/server.pid" --log "$work/server.log" --certs "$support/certs"
ORVALIN_SCRIPT_SERVER_PORT=$(cat "$work/server.port")
export ORVALIN_SCRIPT_SERVER_PORT

echo "==== FetchPageText against a bare WinINet loop (best of 9 rounds)"
orvalin_wine "$tree/bench/windows/page_fetch_bench.exe"

# The listeners live as long as the serving process, which ends when its
# standard input closes.
mkfifo "$work/serve.in"
orvalin_wine "$bench" serve <"$work/serve.in" >"$work/urls" &
serve_pid=$!
exec 3>"$work/serve.in"
for _ in $(seq 600); do
  [[ $(grep -c '^URL ' "$work/urls" || true) -eq 3 ]] && break
  sleep 0.1
done
# The Windows program ends its lines with CR LF.
url() { tr -d '\r' <"$work/urls" | awk -v name="$1" '$1 == "URL" && $2 == name { print $3 }'; }
small=$(url small)
large=$(url large)
huge=$(url huge)
[[ -n "$small" && -n "$large" && -n "$huge" ]] || { echo "bench: no listeners" >&2; exit 1; }

echo "==== FetchUrlBytes against a bare WinINet loop (best of 7 rounds)"
orvalin_wine "$bench" compare "$small" "$large"

echo "==== curl over the same addresses, for reference (best of 3 rounds)"
seconds_of() {
  local best= start ms
  for _ in 1 2 3; do
    start=$(date +%s%N)
    "$@" || return 1
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    if [[ -z "$best" || $ms -lt $best ]]; then best=$ms; fi
  done
  printf '%d.%03d s' $((best / 1000)) $((best % 1000))
}
small_args=()
for _ in $(seq 50); do small_args+=(-o /dev/null "$small"); done
curl_small=$(seconds_of curl -sSf "${small_args[@]}")
curl_large=$(seconds_of curl -sSf -o /dev/null "$large")
echo "RESULT curl 50x200KB $curl_small"
echo "RESULT curl 1x50MB $curl_large"

echo "==== peak memory"
orvalin_wine "$bench" peak "$huge"
# The same seen from Linux: the process's peak resident size when it fetches
# the 100 MB picture against when it fetches a 200 KB one.
rss_kb() { /usr/bin/time -f %M -o "$work/rss" env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 \
  "$ORVALIN_WINE" "$bench" peak "$1" >/dev/null; cat "$work/rss"; }
huge_kb=$(rss_kb "$huge")
small_kb=$(rss_kb "$small")
echo "RESULT peak resident size (Linux): $((huge_kb / 1024)) MB fetching 100 MB, $((small_kb / 1024)) MB fetching 200 KB; difference $(( (huge_kb - small_kb) / 1024 )) MB"
