#!/usr/bin/env bash
# Runs a command with the stand-in cache servers up, their shared directory in VELQUOR_CACHE_DIR
# (as a Wine path) and the fixture torrents copied into it, and stops them afterwards.
#     with_cache_server.sh [SERVER OPTION...] DIR COMMAND...
set -eu
here=$(cd "$(dirname "$0")" && pwd)
options=()
while [ "${1#--}" != "$1" ]; do options+=("$1" "$2"); shift 2; done
dir=$(realpath -m "$1")
shift
rm -rf "$dir"
mkdir -p "$dir"
cp "$here"/../fixtures/*.torrent "$dir"/
python3 "$here/cache_server.py" "$dir" "${options[@]}" &
pid=$!
trap 'touch "$dir/stop"; kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true' EXIT
for _ in $(seq 300); do
    [ -f "$dir/ports" ] && break
    kill -0 $pid 2>/dev/null || { echo "cache server failed to start" >&2; exit 1; }
    sleep 0.1
done
[ -f "$dir/ports" ] || { echo "cache server did not come up in 30 s" >&2; exit 1; }
# Wine maps the Unix root to Z:.
export VELQUOR_CACHE_DIR="Z:${dir//\//\\}"
"$@"
