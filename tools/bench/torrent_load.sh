#!/usr/bin/env bash
# Loading a torrent in the twin as Open torrent does, for files that close an info dictionary
# every 8 bytes beside ordinary torrents of the same size: the load's cost follows the size of
# the file, not its shape.
set -eu
cd "$(dirname "$0")/../.."
. tools/bench/common.bash
rounds=3

bench_win64 torrent_load_bench_win
dir=$(readlink -f "$BENCH_DIR")/load
mkdir -p "$dir"
bench_wine_start
trap bench_wine_stop EXIT
sizes="1000002 10485759"
files=()
for size in $sizes; do
    [ -f "$dir/closes$size.torrent" ] || /usr/bin/python3 tools/bench/make_torrent.py "$dir/closes$size.torrent" $size closes
    [ -f "$dir/ordinary$size.torrent" ] || /usr/bin/python3 tools/bench/make_torrent.py "$dir/ordinary$size.torrent" $size
    files+=("$(winepath_of "$dir/ordinary$size.torrent")" "$(winepath_of "$dir/closes$size.torrent")")
done

echo "-- LoadTorrentFile on the dialog's thread, best of $rounds, QueryPerformanceCounter around the call"
mapfile -t lines < <("$WINE" "$BENCH_DIR/win64/torrent_load_bench_win.exe" $rounds "${files[@]}")
i=0
for size in $sizes; do
    ordinary=$(cut -d' ' -f1 <<<"${lines[i]}")
    closes=$(cut -d' ' -f1 <<<"${lines[i + 1]}")
    echo "$size bytes, ordinary torrent: ${lines[i]}"
    echo "$size bytes, an info close every 8 bytes: ${lines[i + 1]}"
    echo "$size bytes: closes $closes s / ordinary $ordinary s: ratio $(ratio "$closes" "$ordinary") (target <= 1.5)"
    i=$((i + 2))
done
echo "the 10,485,759-byte file of closes loads in $(cut -d' ' -f1 <<<"${lines[3]}") s in the twin (target well under 1 s)"
