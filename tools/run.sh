#!/usr/bin/env bash
# Starts the x86_64 build under Wine.  Without a display it runs in an Xvfb of its own, opens
# the Chinese-named fixture torrent through the program's own open dialog, saves a picture of
# the window to build/screenshot.png (or the path given) and closes the program.
set -eu
cd "$(dirname "$0")/.."
. tests/wine/env.sh
exe=build/win64/velquor.exe
if [ -n "${DISPLAY:-}" ]; then
    wine_prefix_init
    exec "$WINE" "$exe"
fi
out=${1:-build/screenshot.png}
torrent=tests/fixtures/chinese.torrent
xvfb_start
trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
wine_prefix_init
# The driver holds the program open until its input ends, so the picture is taken in between.
coproc driver { "$WINE" build/win64/screenshot.exe "$(winepath_of "$exe")" "$(winepath_of "$torrent")" 2>/dev/null; }
pid=$driver_PID in=${driver[1]}
fields=
while read -r -t 120 -u "${driver[0]}" line; do
    line=${line%$'\r'}
    case "$line" in
    window\ *) break ;;
    *) fields+="$line"$'\n' ;;
    esac
done
set -- $line
[ "${1:-}" = window ] || { printf '%srun: no window to take a picture of\n' "$fields" >&2; exit 1; }
# The long link must be the one the fixture table gives: the picture shows the real result.
hex=$(awk -F'\t' '$1 == "chinese.torrent" { print $4 }' tests/fixtures/expected.tsv)
grep -q "btih:$hex\$" <<<"$fields" || { printf 'run: unexpected fields:\n%s' "$fields" >&2; exit 1; }
import -window root -crop "${4}x${5}+${2}+${3}" +repage -strip "$out"
exec {in}>&-
wait "$pid" || { echo "run: the program did not close with exit code 0" >&2; exit 1; }
echo "screenshot: $out"
