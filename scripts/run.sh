#!/usr/bin/env bash
# Builds the project in release mode and starts Brevane (arguments are passed on).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBREVANE_TESTS=OFF
cmake --build "$build" --parallel "$(nproc)"
if [ -x "$build/app/brevane" ]; then
  exec "$build/app/brevane" "$@"
fi
echo "Built the archive library in $build; the program itself is not part of the build yet."
