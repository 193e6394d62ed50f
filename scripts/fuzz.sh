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

# The targets run side by side, as many at once as there are cores, each
# for its full time.
jobs=$(nproc)
fuzz_one() {
  local target=$1 name corpus
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  if "$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 "$corpus" "$seeds" >"$build/$name.log" 2>&1; then
    echo ok >"$build/$name.result"
  else
    echo failed >"$build/$name.result"
  fi
}
targets=("$build"/fuzz/*_fuzz)
rm -f "$build"/*.result
echo "== ${#targets[@]} fuzz targets, ${seconds}s each, $jobs at a time"
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_one "$target" &
done
wait

status=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  if [ "$(cat "$build/$name.result" 2>/dev/null)" != ok ]; then
    echo "== $name: FAILED"
    tail -n 60 "$build/$name.log"
    status=1
  else
    echo "== $name: $(grep -E "stat::number_of_executed_units" "$build/$name.log" | tail -n 1)"
  fi
done
exit $status
