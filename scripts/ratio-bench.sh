#!/usr/bin/env bash
# The ratio of two Google Benchmark figures of one benchmark program, over interleaved rounds: each round
# runs both benchmarks in one process in a random order, and the ratio of that round is taken; the median of
# the rounds' ratios is printed, with their range.
# Usage: scripts/ratio-bench.sh [--rate] PROGRAM NUMERATOR DENOMINATOR [ROUNDS] [-- extra benchmark options]
#   The figures are real times, or with --rate items per second; names are the benchmarks' printed names
#   (ServiceThroughput/real_time/threads:8). ROUNDS defaults to 9. TAVICAST_PIN=<cpu list> runs the program
#   under taskset with those processors.
# Prints: "<median> (<lowest>..<highest>, <rounds> rounds)".
set -euo pipefail
field=time
if [ "${1:-}" = --rate ]; then field=rate; shift; fi
program=$1 numerator=$2 denominator=$3
rounds=${4:-9}
shift 3
[ $# -gt 0 ] && [ "$1" != -- ] && shift
[ "${1:-}" = -- ] && shift
pin=()
[ -n "${TAVICAST_PIN:-}" ] && pin=(taskset -c "$TAVICAST_PIN")

# figure OUTPUT NAME: the real time in nanoseconds, or the items per second, of that line
figure() {
    awk -v n="$2" -v f="$field" '$1 == n || $1 == n "/real_time" {
        if (f == "time") { m = 1; if ($3 == "us") m = 1e3; if ($3 == "ms") m = 1e6; if ($3 == "s") m = 1e9; print $2 * m; exit }
        for (i = 1; i <= NF; i++) if ($i ~ /^items_per_second=/) {
            v = substr($i, 18); m = 1; if (v ~ /k\/s$/) m = 1e3; if (v ~ /M\/s$/) m = 1e6; if (v ~ /G\/s$/) m = 1e9
            print v * m; exit } }' <<<"$1"
}

escape() { printf '%s' "$1" | sed 's/[].[*^$+?(){}|]/\\&/g'; }
filter="^($(escape "$numerator")|$(escape "$denominator"))(/real_time)?\$"
ratios=()
for _ in $(seq "$rounds"); do
    out=$("${pin[@]}" "$program" --benchmark_filter="$filter" --benchmark_enable_random_interleaving=true "$@" 2>/dev/null)
    a=$(figure "$out" "$numerator")
    b=$(figure "$out" "$denominator")
    [ -n "$a" ] && [ -n "$b" ] || { echo "ratio-bench: no figure for $numerator or $denominator" >&2; echo "$out" >&2; exit 1; }
    ratios+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.4f", a / b }')")
done
printf '%s\n' "${ratios[@]}" | sort -g | awk '{ v[NR] = $1 } END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.2f (%.2f..%.2f, %d rounds)\n", m, v[1], v[NR], NR }'
