#!/usr/bin/env bash
# Builds the release configuration and runs every benchmark (or those named: ./scripts/bench.sh bench_value).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVICAST_TESTS=OFF -DTAVICAST_BENCH=ON >/dev/null
cmake --build build-bench -j "$(nproc)"
names=("$@")
[ ${#names[@]} -gt 0 ] || names=($(cd build-bench/bin && ls bench_* 2>/dev/null))
for b in "${names[@]}"; do
    echo "== $b"
    "build-bench/bin/$b"
done
