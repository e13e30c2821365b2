#!/usr/bin/env bash
# ./run.sh as a user starts it, on the X server of xvfb-run: the local service comes up, the program asks it
# for the application configuration, reads the answer without complaint and shows its main window; ending
# run.sh ends the program and the service.
# Usage (under xvfb-run): run_sh_xvfb_test.sh <source folder> <folder of the built programs>
set -euo pipefail
source_dir=$1
bin_dir=$2

root=$(mktemp -d "${TMPDIR:-/tmp}/tavicast-xvfb-test.XXXXXX")
run_pid=
finish() {
    if [ -n "$run_pid" ] && kill -0 "$run_pid" 2>/dev/null; then
        kill -TERM "$run_pid" 2>/dev/null || true
        wait "$run_pid" 2>/dev/null || true
    fi
    rm -rf "$root"
}
trap finish EXIT
fail() {
    echo "FAILED: $*" >&2
    echo "--- run.sh output" >&2
    cat "$root/run.log" >&2 || true
    echo "--- program log" >&2
    find "$root" -name 'Admin*.log' -exec cat {} + >&2 || true
    exit 1
}

# Waits until the command succeeds, at most $1 seconds.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

mkdir -p "$root/home" "$root/tmp" "$root/data/Tavimeet/conf"
# Information lines in the program's log, so that the configuration's outcome is written either way.
printf 'log.level : 4\nlog.stdout : false\nlog.tag : \n' > "$root/data/Tavimeet/conf/Admin.conf"
export HOME=$root/home TMPDIR=$root/tmp XDG_DATA_HOME=$root/data XDG_CONFIG_HOME=$root/data
# An instance of its own: a client of this user running meanwhile neither meets nor blocks it.
export TAVICAST_TEST_INSTANCE=run-sh-test-$$
unset QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS TAVICAST_SERVICE_URL TAVICAST_CA_FILE

TAVICAST_BIN_DIR=$bin_dir "$source_dir/run.sh" > "$root/run.log" 2>&1 &
run_pid=$!

config_logged() { grep -q '^request: POST .*/getAppConfigs' "$root/run.log"; }
wait_for 60 config_logged || fail "the service logged no configuration request"

config_read() { find "$root" -name 'Admin*.log' -exec grep -h 'application configuration' {} + 2>/dev/null | grep -q .; }
wait_for 60 config_read || fail "the program did not report the configuration reply"
outcome=$(find "$root" -name 'Admin*.log' -exec grep -h 'application configuration' {} +)
case "$outcome" in
*"application configuration read"*) ;;
*) fail "configuration error: $outcome" ;;
esac

# The viewable top-level windows of the program: the main window, and no message box beside it.
viewable_windows() {
    xwininfo -root -children | sed -n 's/^ *\(0x[0-9a-f]*\) "Tavicast".*/\1/p' | while read -r id; do
        xwininfo -id "$id" | grep -q 'Map State: IsViewable' && echo "$id"
    done
}
one_window() { [ "$(viewable_windows | wc -l)" -eq 1 ]; }
wait_for 30 one_window || fail "expected the main window alone, found: $(viewable_windows | tr '\n' ' ')"

kill -TERM "$run_pid"
wait_for 30 bash -c "! kill -0 $run_pid 2>/dev/null" || fail "run.sh did not end"
status=0
wait "$run_pid" || status=$?
run_pid=
[ "$status" -eq 0 ] || fail "run.sh ended with $status"
if grep -q '^base URL: ' "$root/run.log"; then
    port=$(sed -n 's/^base URL: .*:\([0-9]*\)$/\1/p' "$root/run.log")
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        fail "the service still listens on port $port"
    fi
fi
echo "run.sh under xvfb: service and program started, configuration read, both ended"
