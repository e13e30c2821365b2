#!/usr/bin/env bash
# Runs a command on a private X server: Xvfb with a 24-bit screen and GLX (Mesa's software renderer).
# Xvfb picks a free display itself (-displayfd), so any number of tests can start at once without racing
# for a display number, which xvfb-run -a can lose. The server ends with the command.
set -euo pipefail

dir=$(mktemp -d)
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp +extension GLX 3>"$dir/display" 2>"$dir/xvfb.log" &
server=$!
cleanup() {
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT

# Xvfb writes the display number once it accepts connections; end of file means it failed to start.
if ! read -r number <"$dir/display" || [ -z "$number" ]; then
    echo "run_under_xvfb: Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    exit 1
fi
DISPLAY=":$number" "$@"
