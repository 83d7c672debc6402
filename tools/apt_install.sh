#!/usr/bin/env bash
# Installs Debian packages by name, as root:  apt_install.sh PACKAGE...
# A mirror caught mid-sync serves an index of the wrong size or hash, and `apt-get update` then
# fails as a whole although every other index loaded.  So a failed update only warns, naming the
# indexes that failed, and the install is tried with what did load; if the install fails too, the
# run stops there, naming those indexes again, since they are the likely cause.
set -eu
log=$(mktemp)
trap 'rm -f "$log"' EXIT
export DEBIAN_FRONTEND=noninteractive

failed=
if ! apt-get update >"$log" 2>&1; then
    # "Err:" names each index that failed, "E:"/"W: Failed to fetch" says why.
    failed=$(grep -E '^(Err:|E:|W: Failed to fetch|W: Some index)' "$log" || true)
    [ -n "$failed" ] || failed=$(tail -n 5 "$log")
    echo "apt-get update failed for:" >&2
    sed 's/^/    /' <<<"$failed" >&2
    echo "trying the install of $* with the indexes that did load" >&2
fi
if ! apt-get install -y -qq --no-install-recommends "$@" >"$log" 2>&1; then
    if [ -n "$failed" ]; then
        echo "cannot install $*, and apt-get update had failed for:" >&2
        sed 's/^/    /' <<<"$failed" >&2
        grep -E '^E:' "$log" | sed 's/^/    install: /' >&2 || true
    else
        echo "cannot install $*:" >&2
        tail -n 20 "$log" >&2
    fi
    exit 1
fi
