#!/usr/bin/env bash
# Installs the dependencies, builds and runs every test: the normal build (warnings as errors),
# then the AddressSanitizer + UndefinedBehaviorSanitizer build, then a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export QT_QPA_PLATFORM=offscreen

echo "== Build and test"
scripts/build.sh build -DVARNEL_WERROR=ON
ctest --test-dir build --output-on-failure -j"$(nproc)"

echo "== Sanitizer build and test"
scripts/build.sh build-asan -DVARNEL_WERROR=ON -DVARNEL_SANITIZE=ON -DVARNEL_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

if ls fuzz/*.cpp >/dev/null 2>&1; then
  echo "== Fuzz targets (short run)"
  scripts/fuzz.sh 20
fi
