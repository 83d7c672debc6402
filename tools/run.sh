#!/usr/bin/env bash
# Starts the x86_64 build under Wine.  Without a display it runs in an Xvfb of its own,
# saves a screenshot of the window to build/screenshot.png and closes the program.
set -eu
cd "$(dirname "$0")/.."
. tests/wine/env.sh
exe=build/win64/velquor.exe
if [ -n "${DISPLAY:-}" ]; then
    wine_prefix_init
    exec "$WINE" "$exe"
fi
xvfb_start
trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
wine_prefix_init
"$WINE" "$exe" >/dev/null 2>&1 </dev/null &
app=$!
# The window is up once the root window holds more than its black background.
for _ in $(seq 150); do
    sleep 0.2
    colours=$(import -window root -colors 8 -format '%k' info: 2>/dev/null || echo 1)
    [ "$colours" -gt 1 ] && break
done
sleep 1
import -window root -trim +repage build/screenshot.png
echo "screenshot: build/screenshot.png"
kill "$app" 2>/dev/null || true
"$WINESERVER" -k 2>/dev/null || true
wait "$app" 2>/dev/null || true
