#!/usr/bin/env bash
# Starts (or stops) the test session: an Xvfb of our own and a persistent wineserver.
set -eu
. "$(dirname "$0")/env.sh"
cmd=$1 dir=$2
mkdir -p "$dir"
case "$cmd" in
start)
    xvfb_start
    echo "$XVFB_PID" > "$dir/xvfb.pid"
    echo "$DISPLAY" > "$dir/display"
    wine_prefix_init
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null || true  # one already running for this prefix will do
    # Wine's background services outlive the first program; start them here, detached from
    # any test's output, so that no test's pipe stays open after its program has ended.
    "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null
    ;;
stop)
    "$WINESERVER" -k 2>/dev/null || true
    if [ -f "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
        rm -f "$dir/xvfb.pid"
    fi
    ;;
esac
