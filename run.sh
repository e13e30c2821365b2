#!/usr/bin/env bash
# Builds the release configuration in build/, starts the local service (tavicast-devservice, HTTPS on a free
# loopback port, demo data; WeChat QR sign-ins confirm themselves after 5 s, each
# account's newest membership order pays itself after 8 s) and the program against it, which
# loads the membership plug-in libMemvia.so beside it; the service stops when the program ends.
# Needs a display; on a machine without one: xvfb-run ./run.sh
# Usage: ./run.sh [program arguments]
#   TAVICAST_BIN_DIR=<folder>  run the programs already built in that folder instead of building
set -euo pipefail
cd "$(dirname "$0")"

if [ -n "${TAVICAST_BIN_DIR:-}" ]; then
    bin=$TAVICAST_BIN_DIR
else
    ./scripts/install-deps.sh
    build=${TAVICAST_BUILD:-build}
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVICAST_SANITIZE= -DTAVICAST_TESTS=OFF -DTAVICAST_BENCH=OFF >/dev/null
    cmake --build "$build" -j "${TAVICAST_JOBS:-$(nproc)}" --target Tavimeet Memvia tavicast-devservice
    bin=$build/bin
fi

# WebRTC between the program and the service's forwarder stays on loopback (host candidates on 127.0.0.1).
export TAVICAST_ICE_ADDRESSES=127.0.0.1
# A test-pattern camera is listed before the machine's own cameras (set the variable empty to leave it out).
export TAVICAST_SYNTHETIC_CAMERA=${TAVICAST_SYNTHETIC_CAMERA-Test pattern}

run_dir=$(mktemp -d "${TMPDIR:-/tmp}/tavicast-run.XXXXXX")
service_pid=
program_pid=
stop_all() {
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        kill -TERM "$program_pid" 2>/dev/null || true
        wait "$program_pid" 2>/dev/null || true
    fi
    if [ -n "$service_pid" ] && kill -0 "$service_pid" 2>/dev/null; then
        kill -TERM "$service_pid" 2>/dev/null || true
        wait "$service_pid" 2>/dev/null || true
    fi
    rm -rf "$run_dir"
}
trap stop_all EXIT

# The service prints its base URL, its certificate authority's file and then one line per request.
: > "$run_dir/service.log"
"$bin/tavicast-devservice" --ca-file "$run_dir/ca.pem" --auto-scan 5 --auto-pay 8 > >(tee "$run_dir/service.log") 2>&1 &
service_pid=$!
base=
for _ in $(seq 300); do
    base=$(sed -n 's/^base URL: //p' "$run_dir/service.log" || true)
    [ -n "$base" ] && break
    if ! kill -0 "$service_pid" 2>/dev/null; then
        echo "run.sh: the local service did not start" >&2
        exit 1
    fi
    sleep 0.1
done
if [ -z "$base" ]; then
    echo "run.sh: the local service gave no address" >&2
    exit 1
fi

TAVICAST_SERVICE_URL=$base TAVICAST_CA_FILE=$run_dir/ca.pem "$bin/Tavimeet" "$@" &
program_pid=$!
# Ending run.sh ends the program first (its normal tear-down runs), then the service.
trap 'kill -TERM "$program_pid" 2>/dev/null || true' TERM INT HUP
status=0
while kill -0 "$program_pid" 2>/dev/null; do
    wait "$program_pid" && status=0 || status=$?
done
program_pid=
exit "$status"
