#!/usr/bin/env bash
# Runs the i686 release through one scripted user session under 32-bit Wine, which this kernel
# can only do through qemu-i386 user-mode emulation.  Slow (the first start takes minutes), so
# never part of `make test`.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)

if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' ||
   ! command -v qemu-i386 >/dev/null; then
    dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends wine32:i386 qemu-user >/dev/null
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

export VELQUOR_WINEPREFIX=$top/build/wineprefix32
. tests/wine/env.sh
export WINEARCH=win32
WINE=/usr/lib/wine/wine
WINESERVER=/usr/lib/wine/wineserver32
export WINELOADER=$WINE
# A crash ends the process and fails the session instead of waiting in an emulated debugger;
# menu entries for the desktop are of no use here and cost minutes to make.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d;winemenubuilder.exe=d"

xvfb_start
trap 'kill $XVFB_PID 2>/dev/null || true; "$WINESERVER" -k 2>/dev/null || true' EXIT
start=$(date +%s)
wine_prefix_init
echo "prefix ready after $(( $(date +%s) - start )) s"
rc=0
mkdir -p build/smoke32
tests/servers/with_cache_server.sh --http-port 80 --lifetime 7200 build/smoke32 \
    "$WINE" "$(winepath_of build/win32/smoke32.exe)" "$(winepath_of build/win32/velquor.exe)" \
    "$(winepath_of build/smoke32)" || rc=$?
echo "smoke32: exit $rc after $(( $(date +%s) - start )) s"
exit $rc
