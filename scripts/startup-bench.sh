#!/usr/bin/env bash
# Start-up time and idle memory of Tavimeet (offscreen, against the local service over HTTPS) beside a minimal
# Qt widgets window, in interleaved runs. Each run is timed by a probe preloaded into the program
# (bench/startup): milliseconds from the exec to every library loaded, the application object made, the
# first paint of the main window and the event loop's first wait after it; then resident memory 2 s after
# the exec, in runs of their own, with the request worker's wake-ups per second over the last of those 2 s.
# Prints the medians and the ratios to the minimal window.
# Rows: program; minimal (an empty window); +text (the minimal window with a line of text: fonts looked up and
# loaded); +text+libs (that, with every library the program links beyond the minimal window preloaded); then
# the same +text window with one group of those libraries preloaded (+gst: GStreamer, +ffmpeg: libavutil and
# libswscale, +curl: libcurl and OpenSSL, +qt: the Qt modules beyond widgets), each row less +text being what
# that group costs the start. cpu: the process's processor time up to the idle point (steadier than the
# times from the exec on a busy machine).
# Usage: scripts/startup-bench.sh [BIN_DIR] [RUNS]
#   BIN_DIR: a release build's bin folder (default build-bench/bin); RUNS: runs of each program (default 11)
#   TAVICAST_BASELINE_BIN=<folder>: also run the Tavimeet of that folder in every round (another build, e.g.
#   before a change), reported as "baseline"
set -euo pipefail
bin=$(realpath "${1:-build-bench/bin}")
runs=${2:-11}
probe=$bin/libstartup_probe.so
for f in Tavimeet minimal_window startup_exec libstartup_probe.so tavicast-devservice; do
    [ -e "$bin/$f" ] || { echo "startup-bench: $bin/$f is missing (build the release configuration with TAVICAST_BENCH=ON)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tavicast-startup.XXXXXX")
service_pid=
cleanup() {
    [ -n "$service_pid" ] && kill -TERM "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

"$bin/tavicast-devservice" --ca-file "$work/ca.pem" > "$work/service.log" 2>&1 &
service_pid=$!
for _ in $(seq 100); do
    grep -q '^base URL: ' "$work/service.log" && break
    sleep 0.1
done
base=$(sed -n 's/^base URL: //p' "$work/service.log")
[ -n "$base" ] || { echo "startup-bench: the local service did not start" >&2; cat "$work/service.log" >&2; exit 1; }

mkdir -p "$work/home" "$work/data" "$work/tmp"
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/data TMPDIR=$work/tmp
export XDG_RUNTIME_DIR=$work/tmp QT_QPA_PLATFORM=offscreen
export TAVICAST_SERVICE_URL=$base TAVICAST_CA_FILE=$work/ca.pem

# run NAME PRELOAD PROGRAM WINDOW_CLASS ARG RSS_MS: one start, its probe line appended to $work/NAME[-rss]
run() {
    local name=$1 preload=$2 program=$3 window=$4 arg=$5 rss=$6
    local out=$work/$name${rss:+-rss}
    TAVICAST_PROBE_WINDOW=$window TAVICAST_PROBE_RSS_MS=$rss timeout 60 "$bin/startup_exec" "$preload" "$program" \
        ${arg:+"$arg"} 2>&1 >/dev/null | grep '^startup-probe:' >> "$out" || echo "startup-bench: $name gave no figure" >&2
}

# The account of the difference: the minimal window with text (fonts), then also with the libraries the
# program links beyond it preloaded (loaded, relocated and initialised, unused).
extra_libs=$(comm -23 <(ldd "$bin/Tavimeet" | awk '$3 ~ /^\// { print $3 }' | sort) \
    <(ldd "$bin/minimal_window" | awk '$3 ~ /^\// { print $3 }' | sort) | paste -sd: -)
programs=("program|$probe|$bin/Tavimeet|MainWindow|" "minimal|$probe|$bin/minimal_window||"
    "+text|$probe|$bin/minimal_window||--text" "+text+libs|$probe:$extra_libs|$bin/minimal_window||--text")
# group PATTERN: the libraries the program names directly whose names match PATTERN (extended regular
# expression), as a preload list
group() {
    readelf -d "$bin/Tavimeet" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p' | { grep -E "$1" || true; } |
        awk 'NR == FNR { want[$1] = 1; next } ($1 in want) && $3 ~ /^\// { print $3 }' - <(ldd "$bin/Tavimeet") |
        paste -sd: -
}
for g in "+gst|^libgst" "+ffmpeg|^lib(avutil|swscale|avcodec)" "+curl|^lib(curl|ssl|crypto)[.]" \
    "+qt|^libQt5(Network|DBus|WebSockets|X11Extras)"; do
    libs=$(group "${g#*|}")
    [ -n "$libs" ] && programs+=("${g%%|*}|$probe:$libs|$bin/minimal_window||--text")
done
[ -n "${TAVICAST_BASELINE_BIN:-}" ] && programs+=("baseline|$probe|$(realpath "$TAVICAST_BASELINE_BIN")/Tavimeet|MainWindow|")
each() {
    local p name preload program window arg
    for p in "${programs[@]}"; do
        IFS='|' read -r name preload program window arg <<<"$p"
        run "${1:-$name}" "$preload" "$program" "$window" "$arg" "${2:-}"
    done
}

# One start of each first, not counted: caches warm, the program's settings written.
each warmup
unset TAVICAST_PROBE_RSS_MS
for _ in $(seq "$runs"); do each; done
for _ in $(seq "$runs"); do
    for p in "${programs[@]}"; do
        IFS='|' read -r name preload program window arg <<<"$p"
        run "$name" "$preload" "$program" "$window" "$arg" 2000
    done
done

# median FILE FIELD: the median of FIELD=<number> over the file's lines
median() {
    sed -n "s/.* $2=\([-0-9.]*\).*/\1/p" "$1" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit }
        print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "start-up, ms from exec (medians of $runs interleaved runs; offscreen, local service over HTTPS)"
printf '%-10s %9s %9s %9s %9s %9s %8s %13s\n' "" loaded app painted idle cpu libs "rss 2s (MiB)"
for p in "${programs[@]}"; do
    IFS='|' read -r name _ <<<"$p"
    printf '%-10s %9s %9s %9s %9s %9s %8s %13s\n' "$name" "$(median "$work/$name" loaded)" "$(median "$work/$name" app)" \
        "$(median "$work/$name" painted)" "$(median "$work/$name" idle)" "$(median "$work/$name" cpu)" \
        "$(median "$work/$name" libs)" \
        "$(awk -v k="$(median "$work/$name-rss" rss_kib)" 'BEGIN { printf "%.1f", k / 1024 }')"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
echo "request worker while idle: $(median "$work/program-rss" worker_wakeups_per_s) wake-ups per second"
echo "program / minimal window: idle $(ratio "$(median "$work/program" idle)" "$(median "$work/minimal" idle)")x," \
    "cpu $(ratio "$(median "$work/program" cpu)" "$(median "$work/minimal" cpu)")x," \
    "rss 2s $(ratio "$(median "$work/program-rss" rss_kib)" "$(median "$work/minimal-rss" rss_kib)")x (goal: 1.5x each)"
if [ -n "${TAVICAST_BASELINE_BIN:-}" ]; then
    echo "program / baseline: idle $(ratio "$(median "$work/program" idle)" "$(median "$work/baseline" idle)")x," \
        "cpu $(ratio "$(median "$work/program" cpu)" "$(median "$work/baseline" cpu)")x," \
        "rss 2s $(ratio "$(median "$work/program-rss" rss_kib)" "$(median "$work/baseline-rss" rss_kib)")x;" \
        "baseline's request worker while idle: $(median "$work/baseline-rss" worker_wakeups_per_s) wake-ups per second"
fi
