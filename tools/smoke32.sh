#!/usr/bin/env bash
# Runs the i686 release through one scripted user session under 32-bit Wine, which this kernel
# can only do through qemu-i386 user-mode emulation.  Slow (the first start takes minutes), so
# never part of `make test`.
#
# The run goes through stages (install, prefix, settle, session), each under the time that is left
# of VELQUOR_SMOKE32_MINUTES for the whole run (45 by default, and VELQUOR_SMOKE32_PREFIX_MINUTES
# more, 60 by default, when the prefix has to be made); one that overruns ends the run with its
# name rather than hanging.  The Wine session is started once and left to settle before the
# release starts: under emulation the first start after a new prefix has been seen to lose its
# wineserver and hang, and an emulated Wine process crashes now and then, so that start is made
# where it can be timed out, checked and tried again.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)

# Fixed once, before the run re-executes itself inside its mount namespace.
: "${VELQUOR_SMOKE32_STARTED:=$(date +%s)}"
: "${VELQUOR_SMOKE32_DEADLINE:=$(( VELQUOR_SMOKE32_STARTED + ${VELQUOR_SMOKE32_MINUTES:-45} * 60 ))}"
export VELQUOR_SMOKE32_STARTED VELQUOR_SMOKE32_DEADLINE
# One attempt at starting the Wine session (VELQUOR_SMOKE32_SETTLE_SECONDS); a second attempt
# needs its time too.
settle_cap=${VELQUOR_SMOKE32_SETTLE_SECONDS:-1200}

wine_env() {
    export VELQUOR_WINEPREFIX=$top/build/wineprefix32
    . tests/wine/env.sh
    export WINEARCH=win32
    WINE=/usr/lib/wine/wine
    # The server Wine's loader would start itself (Debian's wrapper prefers the native one, which
    # serves 32-bit processes as well); named here so that the persistent one is the same.
    WINESERVER=/usr/lib/wine/wineserver64
    [ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver32
    export WINELOADER=$WINE WINESERVER
    # A crash ends the process and fails the session instead of waiting in an emulated debugger;
    # menu entries for the desktop are of no use here and cost minutes to make.
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d;winemenubuilder.exe=d"
}

# The processes this run started carry its mark in their environment, whatever started them
# (the wineserver, Wine's own session processes, the release); this lists them, but this script.
# The grep that looks is left unmarked, or it would find itself.
run_processes() {
    local f
    for f in $(env -u VELQUOR_SMOKE32_RUN grep -lzxF "VELQUOR_SMOKE32_RUN=$VELQUOR_SMOKE32_RUN" \
                   /proc/[0-9]*/environ 2>/dev/null); do
        f=${f#/proc/}
        f=${f%/environ}
        [ "$f" = $$ ] || echo "$f"
    done
}

# Of those, Wine's: `server` lists the wineserver (not one that only waits for it or ends it),
# `clients` the emulated Wine processes.
wine_processes() {
    local p exe cmd
    for p in $(run_processes); do
        exe=$(readlink "/proc/$p/exe" 2>/dev/null) || continue
        cmd=$({ tr '\0' ' ' <"/proc/$p/cmdline"; } 2>/dev/null) || continue
        case "$1:$exe:$cmd" in
        server:*:*wineserver*\ -[kw]*) ;;
        server:*:*wineserver*) echo "$p" ;;
        clients:*/qemu-i386*:*wineserver*) ;;
        clients:*/qemu-i386*:*) echo "$p" ;;
        esac
    done
    return 0
}

# The CPU time, in clock ticks, that the run's Wine processes have used so far.
wine_cpu_ticks() {
    local p stat total=0
    for p in $(wine_processes clients) $(wine_processes server); do
        stat=$(cat "/proc/$p/stat" 2>/dev/null) || continue
        stat=${stat##*) }  # the fields after the name, which may hold spaces
        set -- $stat
        total=$(( total + ${12} + ${13} ))  # utime and stime
    done
    echo $total
}

# The stages that run Wine are this script again, under `timeout`.
case "${1:-}" in
--prefix)
    wine_env
    # The boot gives up, naming what it waited for, a minute before the stage would be stopped.
    export VELQUOR_WINE_BOOT_SECONDS=$(( VELQUOR_SMOKE32_DEADLINE - $(date +%s) - 60 ))
    wine_prefix_init
    exit
    ;;
--settle)
    # A wineserver that stays, and with it the session's own processes (services, the desktop,
    # devices), so that the release joins the session seen to start here.  A trivial program
    # starts that session; the session has settled once its processes have gone quiet.  Each
    # emulated process spends a minute or two of CPU translating Wine's code before it runs.
    wine_env
    "$WINESERVER" -p
    t=$(date +%s)
    "$WINE" cmd /c exit
    echo "smoke32: the session started in $(( $(date +%s) - t )) s"
    t=$(date +%s)
    quiet=0 last=-1
    while [ $quiet -lt 5 ]; do
        sleep 2
        now=$(wine_cpu_ticks)
        if [ $(( now - last )) -lt 10 ]; then quiet=$(( quiet + 1 )); else quiet=0; fi
        last=$now
    done
    echo "smoke32: the session went quiet after $(( $(date +%s) - t )) s more"
    if [ -z "$(wine_processes server)" ]; then
        echo "smoke32: the wineserver ended while the session started" >&2
        exit 1
    fi
    # Quiet may also mean gone: an emulated process that crashes can take the session with it,
    # and the release would then start it all over again.
    for p in $(wine_processes clients); do
        case $({ tr '\0' ' ' <"/proc/$p/cmdline"; } 2>/dev/null) in *services.exe*) exit 0 ;; esac
    done
    echo "smoke32: the session's processes ended while it started" >&2
    exit 1
    ;;
esac

stage_pid=
# Runs one stage under the time left, or CAP seconds if that is less (0: no cap of its own):
#     stage NAME CAP COMMAND...
# In the background, so that an interrupt of the run is handled while a stage runs.
stage() {
    local name=$1 cap=$2 limit t rc=0 bound="the run's time, VELQUOR_SMOKE32_MINUTES=${VELQUOR_SMOKE32_MINUTES:-45}"
    shift 2
    limit=$(( VELQUOR_SMOKE32_DEADLINE - $(date +%s) ))
    if [ "$cap" -gt 0 ] && [ "$cap" -lt "$limit" ]; then
        limit=$cap
        bound="its own cap of $cap s"
    fi
    if [ "$limit" -le 0 ]; then
        echo "smoke32: no time left for the $name stage ($bound)" >&2
        return 124
    fi
    t=$(date +%s)
    timeout -k 30 "$limit" "$@" &
    stage_pid=$!
    wait "$stage_pid" || rc=$?
    stage_pid=
    case $rc in
    124|137)
        echo "smoke32: the $name stage did not finish within $limit s ($bound) and was stopped" >&2 ;;
    esac
    # What a stage that failed left running is most often what it waited for.
    if [ $rc -ne 0 ] && [ -n "${VELQUOR_SMOKE32_RUN:-}" ]; then
        local p listed=
        for p in $(wine_processes clients) $(wine_processes server); do
            [ -n "$listed" ] || echo "smoke32: the run's Wine processes as the $name stage ended:" >&2
            listed=1
            echo "    $p $({ tr '\0' ' ' <"/proc/$p/cmdline"; } 2>/dev/null)" >&2
        done
    fi
    echo "smoke32: $name: $(( $(date +%s) - t )) s (exit $rc)"
    return $rc
}

if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' ||
   ! command -v qemu-i386 >/dev/null; then
    dpkg --add-architecture i386
    stage install 0 tools/apt_install.sh wine32:i386 qemu-user || exit 1
fi

binfmt=/proc/sys/fs/binfmt_misc
[ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt
# F: the kernel opens qemu once, at registration, so it is found whatever the prefix's root.
if [ ! -e $binfmt/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
        > $binfmt/register
fi

# The release downloads from its compiled-in primary host.  In a mount namespace of this run's
# own, that name resolves to the stand-in server on 127.0.0.1:80; nothing outside sees it.
if [ -z "${VELQUOR_SMOKE_NAMESPACE:-}" ]; then
    exec unshare --mount --propagation private env VELQUOR_SMOKE_NAMESPACE=1 "$0" "$@"
fi
primary=$(sed -n 's/.*kCacheServers = {L"\([^"]*\)".*/\1/p' download/Download_win.cpp)
[ -n "$primary" ] || { echo "smoke32: no primary host found in download/Download_win.cpp" >&2; exit 1; }
mkdir -p build
{ cat /etc/hosts; echo "127.0.0.1 $primary"; } > build/smoke32-hosts
mount --bind build/smoke32-hosts /etc/hosts

wine_env
export VELQUOR_SMOKE32_RUN="$$-$(date +%s%N)"

# Ends what this run started and nothing else: the stage under way, the cache server (through
# its stop file), the prefix's wineserver with every Wine process it serves, whatever of the run
# is left (a Wine process whose server died waits for it forever), and the X server.
cleanup() {
    [ -z "$stage_pid" ] || kill -TERM "$stage_pid" 2>/dev/null || true
    [ ! -d build/smoke32 ] || touch build/smoke32/stop
    timeout 60 "$WINESERVER" -k 2>/dev/null || true
    sleep 1
    local p
    for p in $(run_processes); do
        [ "$p" = "${XVFB_PID:-}" ] || kill -KILL "$p" 2>/dev/null || true
    done
    [ -z "${XVFB_PID:-}" ] || kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT
trap 'echo "smoke32: interrupted" >&2; exit 130' INT TERM

xvfb_start

# A prefix made from nothing takes half an hour or more under emulation, once: that is time
# of its own, not the run's.
if [ ! -f "$WINEPREFIX/.velquor-ready" ]; then
    VELQUOR_SMOKE32_DEADLINE=$(( VELQUOR_SMOKE32_DEADLINE + ${VELQUOR_SMOKE32_PREFIX_MINUTES:-60} * 60 ))
fi
stage prefix 0 "$0" --prefix || exit 1

t=$(date +%s)
if ! stage settle "$settle_cap" "$0" --settle; then
    echo "smoke32: the Wine session did not settle; ending it and starting it once more" >&2
    timeout 60 "$WINESERVER" -k 2>/dev/null || true
    sleep 1
    for p in $(wine_processes clients) $(wine_processes server); do kill -KILL "$p" 2>/dev/null || true; done
    if ! stage settle "$settle_cap" "$0" --settle; then
        echo "smoke32: the Wine session did not start twice; given up" >&2
        exit 1
    fi
fi
echo "smoke32: Wine session settled after $(( $(date +%s) - t )) s"

rc=0
mkdir -p build/smoke32
stage session 0 tests/servers/with_cache_server.sh --http-port 80 --lifetime 7200 build/smoke32 \
    "$WINE" "$(winepath_of build/win32/smoke32.exe)" "$(winepath_of build/win32/velquor.exe)" \
    "$(winepath_of build/smoke32)" || rc=$?
echo "smoke32: exit $rc after $(( $(date +%s) - VELQUOR_SMOKE32_STARTED )) s in all"
exit $rc
