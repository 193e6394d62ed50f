#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while on a seed
# corpus made from archives the Debian archivers write.
#   scripts/fuzz.sh [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
. scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev "${TEST_PACKAGES[@]}"

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBREVANE_FUZZ=ON -DBREVANE_TESTS=OFF -DBREVANE_APP=OFF
cmake --build "$build" --parallel "$(nproc)"

seeds="$build/seeds"
bash scripts/make-seeds.sh "$seeds"

status=0
for target in "$build"/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name: ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 "$corpus" "$seeds" >"$build/$name.log" 2>&1; then
    tail -n 60 "$build/$name.log"
    status=1
  else
    grep -E "stat::number_of_executed_units|Done" "$build/$name.log" | tail -n 2 || true
  fi
done
exit $status
