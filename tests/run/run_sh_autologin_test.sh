#!/usr/bin/env bash
# ./run.sh with saved automatic sign-in credentials, on the X server of xvfb-run: two seconds after start the
# program signs in as "demo" through the membership plug-in, the service logs the login and the avatar, and the
# configuration file keeps the credentials (owner-only) with no secret in the program's log.
# Usage (under xvfb-run): run_sh_autologin_test.sh <source folder> <folder of the built programs>
set -euo pipefail
source_dir=$1
bin_dir=$2

root=$(mktemp -d "${TMPDIR:-/tmp}/tavicast-autologin-test.XXXXXX")
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
    find "$root" -name '*.log' ! -name run.log -exec cat {} + >&2 || true
    exit 1
}
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

[ -f "$bin_dir/libMemvia.so" ] || fail "the plug-in is not built in $bin_dir"
digest=$(printf '%s' demo1234 | md5sum | cut -d' ' -f1)
conf_dir=$root/data/Tavimeet/conf
mkdir -p "$root/home" "$root/tmp" "$conf_dir"
printf 'log.level : 5\nlog.stdout : false\nlog.tag : \nkeyauto : 1\naccount : demo\npassword : %s\n' "$digest" \
    > "$conf_dir/Admin.conf"
export HOME=$root/home TMPDIR=$root/tmp XDG_DATA_HOME=$root/data XDG_CONFIG_HOME=$root/data
# An instance of its own: a client of this user running meanwhile neither meets nor blocks it.
export TAVICAST_TEST_INSTANCE=run-sh-test-$$
unset QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS TAVICAST_SERVICE_URL TAVICAST_CA_FILE

TAVICAST_BIN_DIR=$bin_dir "$source_dir/run.sh" > "$root/run.log" 2>&1 &
run_pid=$!

login_logged() { grep -q '^request: POST /goapi/user/checkLoginByAccount' "$root/run.log"; }
wait_for 60 login_logged || fail "the service logged no automatic sign-in"

# The account's avatar is fetched from the service and stored in the temporary folder.
avatar_logged() { grep -q '^request: GET /images/avatar.png' "$root/run.log"; }
wait_for 30 avatar_logged || fail "the service logged no avatar download"
avatar_stored() { find "$root/tmp" -maxdepth 1 -name '*.jpg' -size +0 | grep -q .; }
wait_for 30 avatar_stored || fail "the avatar was not stored in $root/tmp"

# The sign-in was saved again (the dialog saves after every account change), owner-only.
saved() { [ "$(stat -c %a "$conf_dir/Admin.conf")" = 600 ]; }
wait_for 30 saved || fail "the configuration file is $(stat -c %a "$conf_dir/Admin.conf"), not 600"
grep -q "^password : $digest" "$conf_dir/Admin.conf" || fail "the digest was not kept with automatic sign-in on"

kill -TERM "$run_pid"
wait_for 30 bash -c "! kill -0 $run_pid 2>/dev/null" || fail "run.sh did not end"
wait "$run_pid" || true
run_pid=
if find "$root" -name '*.log' ! -name run.log -exec grep -l -e "$digest" -e 'tok-demo' {} + 2>/dev/null | grep -q .; then
    fail "a secret reached the program's log"
fi
echo "run.sh with saved credentials: signed in automatically"
