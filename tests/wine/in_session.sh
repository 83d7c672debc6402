#!/usr/bin/env bash
# Runs a command in the test session's mount namespace (session.sh), where its wineserver, and so
# every file a test program opens, sees the session's own mounts.
#     in_session.sh SESSION_DIR COMMAND...
set -eu
dir=$1
shift
[ -f "$dir/namespace.pid" ] || exec "$@"  # a session without one (session.sh says why)
exec nsenter -t "$(cat "$dir/namespace.pid")" -m --wd="$PWD" "$@"
