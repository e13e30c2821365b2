#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/, TAVICAST_FUZZ=ON, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them: every target, or the one named, for the seconds given
# (60 by default). New corpus entries go to build-fuzz/corpus/<target>/ (the seeds in fuzz/corpus are read,
# never changed); a failing input is written to fuzz/crashes/<target>/, where the replay test keeps it.
#   scripts/fuzz.sh [target] [seconds] [extra libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
only=${1:-all}
seconds=${2:-60}
shift $(( $# < 2 ? $# : 2 ))

if [ ! -f build-fuzz/build.ninja ]; then
    # The compiler cache when the machine has one (scripts/install-deps.sh does not install it).
    launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    fi
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DTAVICAST_SANITIZE=address,undefined -DTAVICAST_FUZZ=ON -DTAVICAST_TESTS=OFF -DTAVICAST_BENCH=OFF \
        "${launcher[@]}" >/dev/null
fi
targets=()
for dir in fuzz/corpus/*/; do
    name=$(basename "$dir")
    if [ "$only" = all ] || [ "$only" = "$name" ]; then
        targets+=("$name")
    fi
done
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no target '$only'" >&2; exit 2; }
ninja -C build-fuzz -j"${FUZZ_JOBS:-3}" $(printf 'fuzz_%s ' "${targets[@]}")

status=0
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=$root/tests/sanitizer/ubsan.supp
export LSAN_OPTIONS=suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0
for name in "${targets[@]}"; do
    work=build-fuzz/corpus/$name
    mkdir -p "$work" "fuzz/crashes/$name"
    echo "== $name: ${seconds}s"
    dict=()
    if [ -f "fuzz/corpus/$name.dict" ]; then
        dict=(-dict="fuzz/corpus/$name.dict")
    fi
    if ! build-fuzz/bin/fuzz_"$name" "$work" "fuzz/corpus/$name" -max_total_time="$seconds" "${dict[@]}" \
        -runs="${FUZZ_RUNS:--1}" -artifact_prefix="fuzz/crashes/$name/" -print_final_stats=1 "$@" \
        2>&1 | tee "build-fuzz/$name.log" | grep -E "^#[0-9]+ +(DONE|INITED)|stat::|ERROR|SUMMARY"; then
        :
    fi
    if grep -q "ERROR: \|SUMMARY: " "build-fuzz/$name.log"; then
        status=1
    fi
done
exit $status
