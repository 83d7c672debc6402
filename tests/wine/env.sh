# Sourced: the Wine environment every run of the twin uses (its own prefix under build/).
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="${VELQUOR_WINEPREFIX:-$top/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG=${VELQUOR_WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINELOADER=/usr/lib/wine/wine64
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

# Creates the prefix once, then brings its settings up to date (a prefix made before a setting
# was added gets it on its next start; an unchanged one costs nothing).
wine_prefix_init() {
    if [ ! -f "$WINEPREFIX/.velquor-ready" ]; then
        mkdir -p "$WINEPREFIX"
        # The loader gives up waiting for the boot after five minutes and fails, while the boot
        # itself goes on; under emulation it takes longer than that.  So what counts is what the
        # prefix holds once every Wine process has finished.
        "$WINE" wineboot -i >/dev/null 2>&1 || true
        "$WINESERVER" -w
        if [ ! -e "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
            echo "wineboot did not finish the prefix $WINEPREFIX" >&2
            return 1
        fi
        touch "$WINEPREFIX/.velquor-ready"
    fi
    wine_prefix_settings
}

# A Chinese face stands in for the dialog's font.  Top-level windows are not handed to a window
# manager: Xvfb has none, and Wine waits about two seconds for one at every close of a managed
# window (each dialog, file dialog and message box); unmanaged, Wine draws the title bar itself.
wine_prefix_settings() {
    # The title bar's buttons are glyphs of Marlett (Debian's fonts-wine), which this Wine
    # looks for among the prefix's own fonts only.
    local marlett=/usr/share/wine/fonts/marlett.ttf fonts="$WINEPREFIX/drive_c/windows/Fonts"
    if [ -e "$marlett" ] && ! cmp -s "$marlett" "$fonts/marlett.ttf"; then
        mkdir -p "$fonts"
        cp "$marlett" "$fonts/"
    fi
    local reg="$WINEPREFIX/velquor.reg"
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
        '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
        '"宋体"="WenQuanYi Micro Hei"' '"SimSun"="WenQuanYi Micro Hei"' '' \
        '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
        '"Managed"="N"' '' |
        iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$reg.new"
    if cmp -s "$reg.new" "$reg"; then
        rm -f "$reg.new"
        return 0
    fi
    "$WINE" regedit /S "$(winepath_of "$reg.new")" >/dev/null 2>&1
    "$WINESERVER" -w
    mv "$reg.new" "$reg"
}

# Wine maps the Unix root to Z:.
winepath_of() { printf 'Z:%s' "$(readlink -f "$1" | sed 's#/#\\#g')"; }

# Starts Xvfb on the first free display; sets DISPLAY and XVFB_PID.
xvfb_start() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
        XVFB_PID=$!
        local i
        for i in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill "$XVFB_PID" 2>/dev/null
    done
    echo "no free X display for Xvfb" >&2
    return 1
}
