#!/usr/bin/env bash
# Builds everything and runs the whole test suite: the normal build (with the tray programs),
# then the core again under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, then each fuzz target for a short while.
#   QVR_FUZZ_SECONDS  seconds per fuzz target (default 60; 0 skips fuzzing)
#   QVR_QUICK=1       only the normal build
set -euo pipefail
source "$(dirname "$0")/setup.sh"
cd "$QVR_ROOT"
qvr_install_packages

werror=-DQVR_WERROR=ON
step() { printf '\n=== %s\n' "$*"; }

step "build (tray programs included)"
qvr_build build $werror -DQVR_BUILD_GUI=ON
step "tests"
(cd build && QT_QPA_PLATFORM=offscreen ctest -j2 --output-on-failure --timeout 300)

if [ "${QVR_QUICK:-0}" = 1 ]; then exit 0; fi

step "build with AddressSanitizer and UndefinedBehaviorSanitizer (core, headless programs)"
qvr_build build-asan $werror -DQVR_BUILD_GUI=OFF -DQVR_BUILD_BENCH=OFF "-DQVR_SANITIZE=address;undefined"
step "tests under ASan + UBSan"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j2 --output-on-failure --timeout 600)

step "build with ThreadSanitizer (core, headless programs)"
qvr_build build-tsan $werror -DQVR_BUILD_GUI=OFF -DQVR_BUILD_BENCH=OFF -DQVR_SANITIZE=thread
step "threaded tests under TSan"
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
   ctest -j2 --output-on-failure --timeout 600 -L unit)

fuzz_seconds=${QVR_FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" != 0 ]; then
  step "fuzz targets, ${fuzz_seconds} s each"
  CC=clang CXX=clang++ qvr_build build-fuzz -DQVR_BUILD_GUI=OFF -DQVR_BUILD_TESTS=OFF \
    -DQVR_BUILD_BENCH=OFF -DQVR_BUILD_FUZZ=ON
  for target in build-fuzz/bin/*_fuzz; do
    [ -x "$target" ] || continue
    corpus=$(mktemp -d)
    echo "--- $target"
    "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
    rm -rf "$corpus"
  done
fi
if [ "${QVR_WINDOWS:-1}" != 0 ]; then  # QVR_WINDOWS=0 leaves the Windows stage out
  step "Windows cross-build under Wine"
  bash "$QVR_ROOT/scripts/test-windows.sh"
fi
echo "all test stages passed"
