#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test, fuzzing each reader first; then runs every test once more
# in a release build, where timing and memory layout differ.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBREVANE_SANITIZE=ON -DBREVANE_TESTS=ON -DBREVANE_BENCH=ON
cmake --build "$build" --parallel "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Arbitrary bytes through every reader, a while per fuzz target.
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
status=0
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" || status=1

release=build/test-release
cmake -S . -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVANE_TESTS=ON
cmake --build "$release" --parallel "$(nproc)"
ctest --test-dir "$release" --output-on-failure --parallel "$(nproc)" || status=1
exit $status
