#!/usr/bin/env bash
# Installs what the tests need (Debian packages, when run as root and they
# are missing), then builds and runs every suite:
#   native    the program and its tests, built with the system compiler;
#   windows   the same, cross-built with MinGW-w64 (64-bit) and run under the
#             host's Wine (8);
#   windows-x86  the shipped 32-bit program and its tests, cross-built with
#             MinGW-w64 as shipped, run under Debian 13's Wine (10) in its
#             WoW64 mode, in the chroot of scripts/wow64.sh (made on the first
#             run); also its header check and the check that a second build
#             elsewhere, signed with a throwaway certificate, has the same
#             bytes but for the signature;
#   sanitize  the native suite built with clang, AddressSanitizer and
#             UndefinedBehaviorSanitizer (no recovery);
# and finally each libFuzzer target for FUZZ_SECONDS (default 30) seconds.
# Ends with the counts of each suite.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ libgtest-dev googletest g++-mingw-w64-x86-64-posix
          g++-mingw-w64-i686-win32 wine wine64 clang libclang-rt-14-dev strace
          debootstrap osslsigncode openssl)
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
counts=()
for preset in native windows windows-x86 sanitize; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  # 32-bit Windows programs run only inside scripts/wow64.sh.
  run=()
  [ "$preset" = windows-x86 ] && run=(scripts/wow64.sh)
  log=$(mktemp)
  "${run[@]}" ctest --preset "$preset" -j "$jobs" | tee "$log"
  counts+=("$preset: $(grep -E '^[0-9]+% tests passed' "$log")")
  rm -f "$log"
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

echo "== counts"
printf '%s\n' "${counts[@]}" "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
