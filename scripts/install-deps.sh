#!/usr/bin/env bash
# Installs what building and testing need on Debian 12. Does nothing (and never
# touches the network) when everything is already installed.
set -euo pipefail

packages=(
  # native build, tests and benchmarks
  cmake g++ make googletest libbenchmark-dev xz-utils python3
  # the fuzzer: clang plus its runtime, which carries libFuzzer
  clang libclang-rt-14-dev
  # the Windows build and running it
  g++-mingw-w64-x86-64-posix wine64
  # only a Recommends of Wine, but WinINet needs it for HTTPS
  libgnutls30
  # the program's window under a virtual X server, screenshots, fonts
  xvfb xauth imagemagick fonts-wqy-microhei fonts-wine
  # the zh_CN locale that gives Wine code page 936
  locales
  # network namespaces and test certificates for the download tests
  iproute2 openssl
  # the reference timings of the Windows benchmarks
  curl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed; then
    missing+=("$p")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
# Never ask anything, also without CI=true.
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}"
