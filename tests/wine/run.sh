#!/usr/bin/env bash
# Runs one Windows test program in the session's display and prefix; its exit code is ours.
set -eu
. "$(dirname "$0")/env.sh"
dir=$1
shift
export DISPLAY=$(cat "$dir/display")
# A file system of 16 KiB, there only inside the session's mount namespace (session.sh).
export VELQUOR_SMALL_DISK=$(winepath_of "$dir/small-disk")
exec "$(dirname "$0")/in_session.sh" "$dir" "$WINE" "$@"
