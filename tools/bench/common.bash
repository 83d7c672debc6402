# Sourced by the benchmark scripts: where they build, and how they print a ratio.
BUILD=${BUILD:-build}
JOBS=${JOBS:-2}
BENCH_DIR=$BUILD/bench
mkdir -p "$BENCH_DIR"

# The native benchmark programs, -O2 and without sanitizers, in a build of their own so that
# the test builds keep their options.
bench_native() {
    cmake -S . -B "$BENCH_DIR/native" -DCMAKE_BUILD_TYPE=Release -DVELQUOR_TESTS=OFF -DVELQUOR_BENCH=ON >/dev/null
    cmake --build "$BENCH_DIR/native" -j "$JOBS" >/dev/null
}

# The twin's benchmark programs (they drive the live dialog, so the test support is built too).
bench_win64() {
    cmake --no-warn-unused-cli -S . -B "$BENCH_DIR/win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
        -DVELQUOR_BENCH=ON >/dev/null
    cmake --build "$BENCH_DIR/win64" -j "$JOBS" --target "$@" >/dev/null
}

# Wall seconds of a command, output discarded.
seconds_of() {
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'
}

# The smallest of the numbers given.
min_of() { printf '%s\n' "$@" | sort -g | head -n1; }

# a / b to three decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

# A Wine session of the benchmarks' own (prefix under $BENCH_DIR, an Xvfb) for the twin's
# programs: sets WINE and DISPLAY.  bench_wine_stop ends it.
bench_wine_start() {
    export VELQUOR_WINEPREFIX=${VELQUOR_WINEPREFIX:-$(readlink -f "$BENCH_DIR")/wineprefix}
    BENCH_SESSION=$BENCH_DIR/session
    tests/wine/session.sh start "$BENCH_SESSION" >/dev/null
    . tests/wine/env.sh
    export DISPLAY=$(cat "$BENCH_SESSION/display")
}
bench_wine_stop() { tests/wine/session.sh stop "$BENCH_SESSION" >/dev/null 2>&1 || true; }
