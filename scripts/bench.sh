#!/usr/bin/env bash
# Builds the release configuration and runs every benchmark (or those named: ./scripts/bench.sh bench_value),
# then, when all run, the start-up benchmark (scripts/startup-bench.sh) and the goals' figures.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVICAST_TESTS=OFF -DTAVICAST_BENCH=ON >/dev/null
cmake --build build-bench -j "${TAVICAST_JOBS:-$(nproc)}"
names=("$@")
[ ${#names[@]} -gt 0 ] || names=($(cd build-bench/bin && ls bench_* 2>/dev/null))
out=$(mktemp "${TMPDIR:-/tmp}/tavicast-bench.XXXXXX")
trap 'rm -f "$out"' EXIT
for b in "${names[@]}"; do
    echo "== $b"
    # Benchmarks that move media between processes run where only loopback exists.
    wrap=()
    case "$b" in bench_host_meeting) wrap=(tests/support/run_in_loopback_netns.sh) ;; esac
    # The request worker traces each reply on standard error; the figures are on standard output.
    "${wrap[@]}" "build-bench/bin/$b" 2>/dev/null | tee -a "$out"
done
[ $# -gt 0 ] && exit 0

echo "== start-up"
./scripts/startup-bench.sh build-bench/bin

# The goals' figures: each the median of the ratios of interleaved rounds, both benchmarks of a round run in
# one process in a random order (scripts/ratio-bench.sh; TAVICAST_PIN=<cpus> pins the single-threaded ones).
echo "== goals (median of 9 interleaved rounds, with their range)"
echo "value text form, jsoncpp / value map (write then read):" \
    "$(scripts/ratio-bench.sh build-bench/bin/bench_value JsonWriteThenParse ValueMapWriteThenRead 9) (goal: >= 3)"
echo "request worker round trip / raw libcurl POST on a kept connection:" \
    "$(scripts/ratio-bench.sh build-bench/bin/bench_net WorkerRoundTrip RawCurlKeptConnection 9) (goal: <= 1.2)"
echo "local service over HTTPS, 8 clients / 1 client:" \
    "$(TAVICAST_PIN= scripts/ratio-bench.sh --rate build-bench/bin/bench_net ServiceThroughput/real_time/threads:8 \
        ServiceThroughput/real_time/threads:1 9) (goal: >= 4)"
echo "studio composition of a 720p canvas / its bare libyuv calls:" \
    "$(scripts/ratio-bench.sh build-bench/bin/bench_studio BM_ComposeScene BM_BareLibyuvCalls 9) (goal: <= 1.2)"
