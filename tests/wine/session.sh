#!/usr/bin/env bash
# Starts (or stops) the test session: an Xvfb of our own and a persistent wineserver, which runs
# in a mount namespace of the session's own.  There a file system of 16 KiB is mounted at
# $dir/small-disk, so that a test can fill a disk; nothing outside the session sees it.  The
# namespace goes away with the last process in it.
set -eu
. "$(dirname "$0")/env.sh"
cmd=$1 dir=$2
mkdir -p "$dir"
dir=$(realpath "$dir")
case "$cmd" in
start)
    xvfb_start
    echo "$XVFB_PID" > "$dir/xvfb.pid"
    echo "$DISPLAY" > "$dir/display"
    wine_prefix_init
    # Wine's server opens every file for its programs, so it is the server that must see the
    # small disk: it starts inside the namespace, and tests/wine/run.sh runs the programs there.
    rm -f "$dir/namespace.pid"
    if unshare --mount --propagation private true 2>/dev/null; then
        unshare --mount --propagation private sleep infinity </dev/null >/dev/null 2>&1 &
        echo $! > "$dir/namespace.pid"
        for _ in $(seq 100); do
            [ "$(readlink /proc/$!/ns/mnt)" != "$(readlink /proc/self/ns/mnt)" ] && break
            sleep 0.05
        done
        mkdir -p "$dir/small-disk"
        "$(dirname "$0")/in_session.sh" "$dir" mount -t tmpfs -o size=16k velquor-small-disk "$dir/small-disk"
    else
        # Without the rights for it the session runs as before, and only the full-disk test fails.
        echo "session.sh: no mount namespace here (unshare refused), so no small disk" >&2
    fi
    # One already running for this prefix will do, but it sees no small disk.
    "$(dirname "$0")/in_session.sh" "$dir" "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
    # Wine's background services outlive the first program; start them here, detached from
    # any test's output, so that no test's pipe stays open after its program has ended.
    "$(dirname "$0")/in_session.sh" "$dir" "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null
    ;;
stop)
    "$WINESERVER" -k 2>/dev/null || true
    if [ -f "$dir/namespace.pid" ]; then
        kill "$(cat "$dir/namespace.pid")" 2>/dev/null || true
        rm -f "$dir/namespace.pid"
    fi
    if [ -f "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
        rm -f "$dir/xvfb.pid"
    fi
    ;;
esac
