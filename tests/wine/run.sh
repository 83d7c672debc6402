#!/usr/bin/env bash
# Runs one Windows test program in the session's display and prefix; its exit code is ours.
set -eu
. "$(dirname "$0")/env.sh"
dir=$1
shift
export DISPLAY=$(cat "$dir/display")
exec "$WINE" "$@"
