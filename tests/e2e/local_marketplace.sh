# The real orvalin.exe under Wine against a local copy of the marketplace
# (marketplace.py), in a private network and mount namespace where
# detail.1688.com and cbu01.alicdn.com are 127.0.0.1. Nothing of the machine
# changes: the hosts file is bind-mounted inside the namespace only, and Wine
# runs in a prefix of its own, copied from the Windows build's prefix, that
# trusts the test CA and has a stand-in browser for http addresses.
#
# Sourced by tests/e2e/run_e2e.sh, scripts/demo.sh and scripts/bench-e2e.sh:
#
#   orvalin_marketplace_enter "$@"     runs the calling script again inside a
#                                      fresh namespace (needs root, or user
#                                      namespaces for other users)
#   orvalin_marketplace_start <Windows build dir> <scratch dir>
#                                      inside: loopback up, hosts file, the
#                                      marketplace on 127.0.0.1:443, the
#                                      prefix in <scratch dir>/prefix and its
#                                      wineserver, an X display
#   orvalin_marketplace_stop           ends all that start started
#   orvalin_drive <args...>            runs driver.exe, its output (UTF-8) in
#                                      ORVALIN_DRIVEN; a step the driver cannot
#                                      finish ends the calling script
#   orvalin_driven <key>               the rest of the driver's line that
#                                      starts with <key>
#   orvalin_windows_path <path>        the Wine (Z:) name of a Linux path
#
# After start: ORVALIN_MARKET_CERTS (the test certificates), ORVALIN_E2E_BIN
# (driver.exe and the other tools), ORVALIN_BROWSER_RECORD (one line per
# address the stand-in browser was asked to open).

ORVALIN_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../scripts/wine-prefix.sh
. "$ORVALIN_ROOT/scripts/wine-prefix.sh"
# shellcheck source=../../scripts/display.sh
. "$ORVALIN_ROOT/scripts/display.sh"

orvalin_marketplace_enter() {
  [[ -n "${ORVALIN_IN_MARKETPLACE_NAMESPACE:-}" ]] && return 0
  local user_namespace=()
  [[ $(id -u) -eq 0 ]] || user_namespace=(--map-root-user)
  exec unshare "${user_namespace[@]}" --net --mount --propagation private \
    env ORVALIN_IN_MARKETPLACE_NAMESPACE=1 bash "$0" "$@"
}

orvalin_windows_path() {
  local path=${1//\//\\}
  printf 'Z:%s' "$path"
}

_orvalin_driver() {
  orvalin_wine "$ORVALIN_E2E_BIN/driver.exe" "$@" | tr -d '\r' | iconv -f GBK -t UTF-8
  return "${PIPESTATUS[0]}"
}

orvalin_drive() {
  if ! ORVALIN_DRIVEN=$(_orvalin_driver "$@"); then
    printf '%s\ndriver %s failed; the end of the marketplace log:\n' "$ORVALIN_DRIVEN" "$1" >&2
    tail -n 20 "$ORVALIN_MARKET_SCRATCH/marketplace.log" >&2
    exit 1
  fi
}

orvalin_driven() {
  awk -v key="$1" '$1 == key { sub(/^[^ ]+ /, ""); print }' <<<"$ORVALIN_DRIVEN"
}

_orvalin_marketplace_network() {
  ip link set lo up
  printf '127.0.0.1 localhost\n127.0.0.1 detail.1688.com cbu01.alicdn.com\n' >"$1/hosts"
  mount --bind "$1/hosts" /etc/hosts
}

_orvalin_marketplace_serve() {
  local scratch=$1 tree=$2
  python3 "$ORVALIN_ROOT/tests/e2e/marketplace.py" serve \
    --pages "$tree/tests/data" --pages "$ORVALIN_ROOT/tests/e2e/pages" \
    --cert "$ORVALIN_MARKET_CERTS/marketplace.pem" --key "$ORVALIN_MARKET_CERTS/server.key" \
    --ready-file "$scratch/marketplace.ready" 2>"$scratch/marketplace.log" &
  ORVALIN_MARKET_PID=$!
  for _ in $(seq 100); do
    [[ -s "$scratch/marketplace.ready" ]] && return 0
    kill -0 "$ORVALIN_MARKET_PID" 2>/dev/null || break
    sleep 0.05
  done
  echo "local marketplace: the server did not start" >&2
  cat "$scratch/marketplace.log" >&2
  return 1
}

# The build's prefix, copied (never hard-linked: Wine rewrites its registry
# files in place) so that its wineserver can run inside this namespace.
_orvalin_marketplace_prefix() {
  local scratch=$1 tree=$2
  orvalin_wine_env "$tree"
  orvalin_wine_prepare >&2
  cp -a "$WINEPREFIX" "$scratch/prefix"
  export WINEPREFIX="$scratch/prefix"
  orvalin_wine_start_server
  orvalin_wine "$tree/tests/support/trust_ca.exe" "$ORVALIN_MARKET_CERTS/ca.der" >/dev/null
  ORVALIN_BROWSER_RECORD="$scratch/browser-record.txt"
  local command
  command="\"$(orvalin_windows_path "$ORVALIN_E2E_BIN/browser_stub.exe")\""
  command+=" \"$(orvalin_windows_path "$ORVALIN_BROWSER_RECORD")\" \"%1\""
  orvalin_wine reg add 'HKLM\Software\Classes\http\shell\open\command' /ve /d "$command" /f \
    >/dev/null
}

orvalin_marketplace_start() {
  local tree scratch
  tree=$(cd "$1" && pwd)
  scratch=$(cd "$2" && pwd)
  ORVALIN_MARKET_SCRATCH=$scratch
  ORVALIN_MARKET_CERTS="$tree/tests/support/certs"
  ORVALIN_E2E_BIN="$tree/tests/e2e"
  _orvalin_marketplace_network "$scratch"
  _orvalin_marketplace_serve "$scratch" "$tree"
  [[ -n "${DISPLAY:-}" ]] || orvalin_display_start
  _orvalin_marketplace_prefix "$scratch" "$tree"
}

orvalin_marketplace_stop() {
  if [[ -d "${ORVALIN_MARKET_SCRATCH:-}/prefix" ]]; then
    orvalin_wine_stop_server
    timeout 20 "$ORVALIN_WINESERVER" -w || true
    rm -rf "$ORVALIN_MARKET_SCRATCH/prefix"
  fi
  if [[ -n "${ORVALIN_MARKET_PID:-}" ]]; then
    kill "$ORVALIN_MARKET_PID" 2>/dev/null || true
    wait "$ORVALIN_MARKET_PID" 2>/dev/null || true
    unset ORVALIN_MARKET_PID
  fi
  orvalin_display_stop
}
