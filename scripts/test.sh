#!/usr/bin/env bash
# Installs what the tests need (Debian packages, when run as root and they
# are missing), then builds and runs every suite:
#   native    the program and its tests, built with the system compiler;
#   windows   the same, cross-built with MinGW-w64 (64-bit) and run under Wine;
#   windows-x86  the shipped 32-bit program, cross-built with MinGW-w64; of its
#             tests only the check of its headers and imports runs, since
#             neither this kernel nor a 64-bit-only Wine runs 32-bit programs;
#   sanitize  the native suite built with clang, AddressSanitizer and
#             UndefinedBehaviorSanitizer (no recovery);
# and finally each libFuzzer target for FUZZ_SECONDS (default 30) seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ libgtest-dev googletest g++-mingw-w64-x86-64-posix
          g++-mingw-w64-i686-win32 wine wine64 clang libclang-rt-14-dev strace)
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
for preset in native windows windows-x86 sanitize; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

echo "== fuzz"
passed=0
failed=0
for target in profile_syntax placeholders line_stamper; do
  corpus=$(mktemp -d)
  log=$corpus.log
  if build/sanitize/fuzz/${target}_fuzzer "$corpus" "fuzz/corpus/$target" \
      -max_total_time="${FUZZ_SECONDS:-30}" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 >"$log" 2>&1; then
    echo "$target: $(grep -m1 number_of_executed_units "$log" | awk '{ print $2 }') runs, no finding"
    passed=$((passed + 1))
  else
    cat "$log"
    failed=$((failed + 1))
  fi
  rm -rf "$corpus" "$log"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
