#!/usr/bin/env bash
# Benchmarks (not tests): each prints its figures beside a reference tool's, from the same run.
set -eu
cd "$(dirname "$0")/.."
shopt -s nullglob
ran=0
for b in tools/bench/*.sh; do
    echo "== $b"
    bash "$b"
    ran=1
done
[ $ran -eq 1 ] || echo "no benchmarks yet"
