#!/bin/sh
# Runs a command inside a network namespace of its own that holds only the loopback interface, brought up:
# whatever the command sends cannot leave the machine, even by mistake. As root a plain network namespace,
# else one inside a user namespace.
#   run_in_loopback_netns.sh <command> [arguments...]
set -eu
if [ "${1:-}" = "--inside" ]; then
    shift
    ip link set lo up
    exec "$@"
fi
if [ "$(id -u)" -eq 0 ]; then
    set -- unshare --net -- "$0" --inside "$@"
else
    set -- unshare --map-root-user --net -- "$0" --inside "$@"
fi
exec "$@"
