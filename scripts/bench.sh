#!/usr/bin/env bash
# Builds the release configuration and runs every benchmark (or those named: ./scripts/bench.sh bench_value),
# then, when all run, the start-up benchmark (scripts/startup-bench.sh) and the goals' figures.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAVICAST_TESTS=OFF -DTAVICAST_BENCH=ON >/dev/null
cmake --build build-bench -j "$(nproc)"
names=("$@")
[ ${#names[@]} -gt 0 ] || names=($(cd build-bench/bin && ls bench_* 2>/dev/null))
out=$(mktemp "${TMPDIR:-/tmp}/tavicast-bench.XXXXXX")
trap 'rm -f "$out"' EXIT
for b in "${names[@]}"; do
    echo "== $b"
    # The request worker traces each reply on standard error; the figures are on standard output.
    "build-bench/bin/$b" 2>/dev/null | tee -a "$out"
done
[ $# -gt 0 ] && exit 0

echo "== start-up"
./scripts/startup-bench.sh build-bench/bin

# time NAME: the real time of that benchmark's line, in its printed unit
time_of() { awk -v n="$1" '$1 == n || $1 == n "/real_time" { print $2; exit }' "$out"; }
rate_of() { awk -v n="$1" '$1 == n { for (i = 1; i <= NF; i++) if ($i ~ /^items_per_second=/) {
    v = substr($i, 18); m = 1; if (v ~ /k\/s$/) m = 1e3; if (v ~ /M\/s$/) m = 1e6; print v * m; exit } }' "$out"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0 && b > 0) printf "%.2f", a / b; else printf "n/a" }'; }
echo "== goals"
echo "value text form, jsoncpp / value map (write then read): $(ratio "$(time_of JsonWriteThenParse)" "$(time_of ValueMapWriteThenRead)")x (goal: >= 3)"
echo "request worker round trip / raw libcurl POST on a kept connection: $(ratio "$(time_of WorkerRoundTrip)" "$(time_of RawCurlKeptConnection)")x (goal: <= 1.2)"
echo "local service over HTTPS, 8 clients / 1 client: $(ratio "$(rate_of ServiceThroughput/real_time/threads:8)" "$(rate_of ServiceThroughput/real_time/threads:1)")x (goal: >= 4)"
echo "studio composition of a 720p canvas / its bare libyuv calls: $(ratio "$(time_of BM_ComposeScene)" "$(time_of BM_BareLibyuvCalls)")x (goal: <= 1.2)"
