#!/usr/bin/env bash
# Builds the release configuration in build/ and starts the program.
# Needs a display; on a machine without one: xvfb-run ./run.sh
# Usage: ./run.sh [program arguments]
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

build=${TAVICAST_BUILD:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVICAST_SANITIZE= -DTAVICAST_TESTS=OFF -DTAVICAST_BENCH=OFF >/dev/null
cmake --build "$build" -j "${TAVICAST_JOBS:-$(nproc)}" --target Tavimeet

exec "$build/bin/Tavimeet" "$@"
