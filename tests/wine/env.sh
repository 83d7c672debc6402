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
        rm -f "$WINEPREFIX/velquor.reg"  # settings of an attempt that did not finish
        local limit=${VELQUOR_WINE_BOOT_SECONDS:-1500} t=$SECONDS f
        # The loader gives up waiting for the boot after five minutes and fails, while the boot
        # itself goes on; under emulation it takes longer than that.  The boot is over once no
        # wineboot of the prefix runs (it waits for the installers it starts).  What the boot
        # leaves running (services, the desktop, devices) is not waited for: under emulation
        # those have been seen to stay on, idle, half an hour after the boot had ended.
        timeout -k 10 "$limit" "$WINE" wineboot -i >/dev/null 2>&1 || true
        if ! wine_prefix_wait $(( limit - (SECONDS - t) )) '*[Ww][Ii][Nn][Ee][Bb][Oo][Oo][Tt]*'; then
            echo "the boot of $WINEPREFIX did not end within $limit s; it had left running:" >&2
            wine_prefix_processes | sed 's/^/    /' >&2
            wine_prefix_end
            return 1
        fi
        # The settings go in while the boot's session is still there: under emulation a session
        # of their own takes minutes to start.
        wine_prefix_settings
        wine_prefix_end
        for f in drive_c/windows/system32/kernel32.dll .update-timestamp system.reg user.reg; do
            if [ ! -e "$WINEPREFIX/$f" ]; then
                echo "wineboot did not finish the prefix $WINEPREFIX (no $f)" >&2
                return 1
            fi
        done
        touch "$WINEPREFIX/.velquor-ready"
    fi
    wine_prefix_settings
}

# This prefix's Wine processes, the server among them, as "PID COMMAND LINE" a line: those that
# carry the prefix in their environment (every process of the prefix inherits it) and run a Wine
# binary, directly or through qemu.  The grep that looks does not carry it.
wine_prefix_processes() {
    local f p exe cmd
    for f in $(env -u WINEPREFIX grep -lzxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
        p=${f#/proc/}
        p=${p%/environ}
        exe=$(readlink "/proc/$p/exe" 2>/dev/null) || continue
        case $exe in /usr/lib/wine/*|*/qemu-i386*) ;; *) continue ;; esac
        cmd=$({ tr '\0' ' ' <"/proc/$p/cmdline"; } 2>/dev/null) || continue
        echo "$p ${cmd%"${cmd##*[! ]}"}"  # Wine pads a Windows command line with spaces
    done
    return 0
}

# Waits up to SECONDS until none of the prefix's processes has a command line that matches
# PATTERN; false if one still does then.
#     wine_prefix_wait SECONDS PATTERN
wine_prefix_wait() {
    local end=$(( SECONDS + $1 )) line found
    while :; do
        found=
        while read -r line; do
            # shellcheck disable=SC2254
            case ${line#* } in $2) found=1 ;; esac
        done < <(wine_prefix_processes)
        [ -n "$found" ] || return 0
        [ $SECONDS -lt $end ] || return 1
        sleep 1
    done
}

# Ends the prefix's session: the server with every process it serves, which saves the registry
# first; then any of the prefix's processes still there after a while (an emulated process whose
# server has gone waits for it forever), by PID, saying which.  Another prefix's are left alone.
wine_prefix_end() {
    timeout 60 "$WINESERVER" -k 2>/dev/null || true
    local i rest
    for i in $(seq 30); do
        rest=$(wine_prefix_processes)
        [ -n "$rest" ] || return 0
        sleep 1
    done
    echo "still running after the end of the session of $WINEPREFIX, now killed:" >&2
    sed 's/^/    /' <<<"$rest" >&2
    kill -KILL $(cut -d' ' -f1 <<<"$rest") 2>/dev/null || true
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
    # A server already running here belongs to a session that goes on (a test session, a program
    # started by hand): it keeps the settings and saves them itself.  Otherwise regedit's session
    # is ended once regedit has, which saves them, rather than waited for.
    local ours=1
    wine_prefix_processes | grep -q '^[0-9]* [^ ]*wineserver[^ ]*\( -p[0-9]*\)\? *$' && ours=
    "$WINE" regedit /S "$(winepath_of "$reg.new")" >/dev/null 2>&1
    [ -z "$ours" ] || wine_prefix_end
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
