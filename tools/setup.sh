#!/usr/bin/env bash
# Installs whatever the build and the tests need and this machine lacks; silent when nothing does.
set -eu
packages=(
    cmake make g++ googletest locales
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine wine64 fonts-wine xvfb xauth x11-apps imagemagick fonts-wqy-microhei
    python3 openssl rhash mktorrent transmission-cli python3-libtorrent python3-llfuse
    clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
if [ ${#missing[@]} -ne 0 ]; then
    echo "setup: installing ${missing[*]}"
    $sudo "$(dirname "$0")/apt_install.sh" "${missing[@]}"
fi
# Torrent names that are not UTF-8 are read through the ANSI code page; their tests run under
# this locale, from which Wine takes code page 936.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
    echo "setup: generating the zh_CN.UTF-8 locale"
    $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
