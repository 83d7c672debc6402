#!/usr/bin/env bash
# ed2k speed: the engine over 2 GiB in memory against `rhash -B`, then HashFileForEd2k in the
# twin over a 2 GiB file in the page cache against `rhash --ed2k`, and its peak memory.
set -eu
cd "$(dirname "$0")/../.."
. tools/bench/common.bash
rounds=3

bench_native
echo "-- in memory, 2048 MiB, best of $rounds, the two taking turns"
ours=() theirs=()
for _ in $(seq $rounds); do
    line=$("$BENCH_DIR/native/ed2k_bench" 2048 1)
    echo "$line"
    ours+=("$(sed -E 's/.*: ([0-9.]+) MiB\/s.*/\1/' <<<"$line")")
    line=$(rhash -B --ed2k | grep total)
    echo "rhash -B --ed2k: $line"
    theirs+=("$(sed -E 's/.* ([0-9.]+) MBps.*/\1/' <<<"$line")")
done
best_ours=$(printf '%s\n' "${ours[@]}" | sort -g | tail -n1)
best_rhash=$(printf '%s\n' "${theirs[@]}" | sort -g | tail -n1)
echo "engine $best_ours MiB/s, rhash $best_rhash MiB/s (its MBps are MiB/s): ratio $(ratio "$best_ours" "$best_rhash") x rhash (target >= 1.0)"

bench_win64 ed2k_file_bench_win
files=$(readlink -f "$BENCH_DIR")/files
cleanup() {
    bench_wine_stop
    rm -rf "$files"
}
trap cleanup EXIT
mkdir -p "$files"
# Random content for 2 GiB, the same twice over for 4 GiB: both real data, both in the page cache.
head -c 2G /dev/urandom >"$files/2g.bin"
cat "$files/2g.bin" "$files/2g.bin" >"$files/4g.bin"
cat "$files/2g.bin" >/dev/null
bench_wine_start

echo "-- from disk (page cache), 2 GiB, best of $rounds; twin timed with QueryPerformanceCounter around the call"
walls=()
for _ in $(seq $rounds); do walls+=("$(seconds_of rhash --ed2k "$files/2g.bin")"); done
rhash_wall=$(min_of "${walls[@]}")
rhash_digest=$(rhash --ed2k "$files/2g.bin" | cut -d' ' -f1)
echo "rhash --ed2k: ${walls[*]} s (whole process), digest $rhash_digest"
line=$("$WINE" "$BENCH_DIR/win64/ed2k_file_bench_win.exe" $rounds "$(winepath_of "$files/2g.bin")")
echo "HashFileForEd2k: $line"
ours_wall=$(sed -E 's/^[0-9]+ bytes: ([0-9.]+) s.*/\1/' <<<"$line")
grep -qi "|$rhash_digest|" <<<"$line" || { echo "digest differs from rhash" >&2; exit 1; }
echo "wall $ours_wall s vs rhash $rhash_wall s: ratio $(ratio "$ours_wall" "$rhash_wall") x rhash (target <= 1.1)"

echo "-- peak working set (GetProcessMemoryInfo), one process per file"
for f in 2g 4g; do
    echo "$f: $("$WINE" "$BENCH_DIR/win64/ed2k_file_bench_win.exe" 1 "$(winepath_of "$files/$f.bin")")"
done
