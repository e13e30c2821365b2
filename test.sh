#!/usr/bin/env bash
# Builds the test configuration (Debug, AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test.
# Usage: ./test.sh [extra ctest arguments, e.g. -R Value]
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

build=${TAVICAST_TEST_BUILD:-build-test}
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVICAST_SANITIZE=address,undefined \
    -DTAVICAST_TESTS=ON -DTAVICAST_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs" "$@"
