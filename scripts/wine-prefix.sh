#!/usr/bin/env bash
# The Wine side of one Windows build tree: a private prefix and a private
# zh_CN.UTF-8 locale, both inside the build tree, so that Wine runs with ANSI
# code page 936 without touching the machine or the user's ~/.wine.
#
#   bash scripts/wine-prefix.sh <build dir>     prepares <build dir>/wineprefix
#
# Sourced, it defines:
#   orvalin_wine_env <build dir>       exports the Wine environment for that tree
#   orvalin_wine <program> [args...]   runs a Wine program in that environment
#   orvalin_wine_prepare               makes locale and prefix (once; locked)
#   orvalin_wine_start_server          starts a persistent wineserver, warmed up
#   orvalin_wine_stop_server           stops this prefix's wineserver
#
# Layout inside <build dir>:
#   locale/zh_CN.UTF-8/   compiled glibc locale (LOCPATH points here)
#   wineprefix/           the Wine prefix (~700 MB)
#   wine-setup.log        output of the last prefix creation

ORVALIN_WINE=/usr/lib/wine/wine64
ORVALIN_WINESERVER=/usr/lib/wine/wineserver

# Bump this whenever the prefix setup below changes: prefixes made by an older
# setup are then thrown away and made again.
ORVALIN_PREFIX_VERSION=1

# Runs a Wine program (wineboot, reg, a test .exe) in the prepared environment.
orvalin_wine() {
  env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 "$ORVALIN_WINE" "$@"
}

orvalin_wine_env() {
  mkdir -p "$1"
  ORVALIN_WINE_DIR=$(cd "$1" && pwd)
  export WINEPREFIX="$ORVALIN_WINE_DIR/wineprefix"
  export WINEDEBUG=-all
  # No offers to download Mono or Gecko.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # Wine takes its ANSI code page from the locale, but only if glibc really has
  # that locale; otherwise it quietly uses 1252. The locale is private to this
  # tree (LOCPATH). LANG and LC_ALL are given to Wine commands only (see
  # orvalin_wine): set in bash itself, they make bash look for the locale
  # without LOCPATH and warn.
  export LOCPATH="$ORVALIN_WINE_DIR/locale"
  # WinINet under Wine honours these even for HTTPS: tests talk to loopback
  # servers only and must never be rerouted.
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ftp_proxy FTP_PROXY \
        all_proxy ALL_PROXY no_proxy NO_PROXY
}

_orvalin_wine_make_locale() {
  [[ -f "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" ]] && return 0
  mkdir -p "$LOCPATH"
  # localedef may exit non-zero for mere warnings; the files decide.
  localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8" >/dev/null 2>&1 || true
  if [[ ! -f "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" ]]; then
    echo "wine-prefix: could not compile the zh_CN.UTF-8 locale (package 'locales' missing?)" >&2
    return 1
  fi
}

# True when locale and prefix are there and the prefix is of this setup.
_orvalin_wine_ready() {
  local version=
  [[ -f "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" && -f "$WINEPREFIX/.orvalin-prefix" ]] &&
    read -r version <"$WINEPREFIX/.orvalin-prefix" &&
    [[ "$version" == "$ORVALIN_PREFIX_VERSION" ]]
}

_orvalin_wine_make_prefix() {
  local marker="$WINEPREFIX/.orvalin-prefix"
  _orvalin_wine_ready && return 0
  local log="$ORVALIN_WINE_DIR/wine-setup.log"
  echo "wine-prefix: creating $WINEPREFIX"
  "$ORVALIN_WINESERVER" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  # All output, also that of the wineserver and services wineboot starts, goes
  # to the log: nothing started here may hold the caller's stdout open.
  {
    orvalin_wine wineboot -i &&
    # A virtual desktop: Wine draws the window frames itself, and closing a
    # top-level window costs milliseconds instead of seconds under Xvfb with
    # no window manager.
    orvalin_wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
    orvalin_wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f
  } </dev/null >"$log" 2>&1 || {
    echo "wine-prefix: prefix creation failed, see $log" >&2
    cat "$log" >&2
    return 1
  }
  # Without Marlett the caption buttons render as letters.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

  # Test certificate authority: the HTTPS tests' CA gets added to this prefix's
  # LocalMachine "Root" store here (WinINet ignores SSL_CERT_FILE). Bump
  # ORVALIN_PREFIX_VERSION when adding it.

  # The registry reaches the disk when the server exits.
  timeout 120 "$ORVALIN_WINESERVER" -w || "$ORVALIN_WINESERVER" -k >/dev/null 2>&1 || true
  echo "$ORVALIN_PREFIX_VERSION" >"$marker"
}

orvalin_wine_prepare() {
  [[ -n "${ORVALIN_WINE_DIR:-}" ]] || { echo "wine-prefix: orvalin_wine_env first" >&2; return 1; }
  # Cheap when all is there: every Windows test passes through here.
  _orvalin_wine_ready && return 0
  # Several tests may start at once (ctest -j): the first one prepares, the
  # others wait for it.
  (
    flock 9
    _orvalin_wine_make_locale &&
    _orvalin_wine_make_prefix
  ) 9>"$ORVALIN_WINE_DIR/.wine-setup.lock"
}

# A Wine program started while no wineserver runs starts one, plus Wine's
# service processes, and they inherit its stdout and stderr. Inside ctest that
# is ctest's output pipe, which then costs seconds per test. So: one persistent
# server with its output on /dev/null, and one trivial program to bring the
# services up, before any test runs.
orvalin_wine_start_server() {
  "$ORVALIN_WINESERVER" -k >/dev/null 2>&1 || true
  "$ORVALIN_WINESERVER" -p </dev/null >/dev/null 2>&1
  orvalin_wine cmd /c exit 0 </dev/null >/dev/null 2>&1
}

orvalin_wine_stop_server() {
  "$ORVALIN_WINESERVER" -k >/dev/null 2>&1 || true
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
  set -euo pipefail
  if [[ $# -ne 1 ]]; then
    echo "usage: $0 <build dir>" >&2
    exit 2
  fi
  orvalin_wine_env "$1"
  orvalin_wine_prepare
fi
