#!/usr/bin/env bash
# Installs what the tests need (Debian packages, when run as root and they
# are missing), then builds and runs both suites: the native one, and the
# Windows one, cross-built with MinGW-w64 and run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ libgtest-dev googletest g++-mingw-w64-x86-64-posix wine wine64)
need=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || need+=("$package")
done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${need[*]} (run as root to install them)" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

jobs=$(nproc)
for preset in native windows; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
