#!/usr/bin/env bash
# Inspects the i686 release: machine, DEP mark, imported DLLs, what would make two builds differ,
# what a user's copy has no use for, its size and its resources.
set -u
exe=$1
dump=$(i686-w64-mingw32-objdump -p "$exe")
fail=0
check() { if eval "$2"; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi; }

check "machine is i386" 'grep -q "file format pei-i386" <<<"$dump"'
chars=$(awk '/^DllCharacteristics/ {print $2}' <<<"$dump")
check "no NX-compat flag in DllCharacteristics ($chars)" '(( (16#$chars & 0x0100) == 0 ))'

# Only DLLs that every Windows installation has; a MinGW runtime DLL must never be needed.
allowed='^(kernel32|user32|gdi32|comdlg32|shell32|shlwapi|wininet|msvcrt|advapi32|ole32|comctl32)\.dll$'
dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump" | sort -u)
echo "imports: $(tr '\n' ' ' <<<"$dlls")"
for dll in $dlls; do
    check "import $dll is a system DLL" '[[ $dll =~ $allowed ]]'
done

# A build stamps neither the time nor where it was built, so that building again gives the same bytes.
check "no link timestamp" 'grep -q "^Time/Date.*Jan  1 00:00:00 1970" <<<"$dump"'
src=$(cd "$(dirname "$0")/.." && pwd)
check "no source path inside" '! grep -qaF "$src" "$exe"'
# Stripped: no COFF symbol table and no DWARF, which the static runtime would otherwise bring.
flags=$(i686-w64-mingw32-objdump -f "$exe")
check "no symbol table" '! grep -q HAS_SYMS <<<"$flags"'
sections=$(i686-w64-mingw32-objdump -h "$exe" | awk '$1 ~ /^[0-9]+$/ {print $2}')
check "no debug section among: $(tr '\n' ' ' <<<"$sections")" '! grep -q "^\.debug" <<<"$sections"'
# Formatting is msvcrt's: MinGW's own printf, which a C++ formatting call brings along, carries
# its text for a null string.  Nothing asks an object its type, so no type information is linked.
check "no MinGW printf (its \"(null)\")" '! LC_ALL=C grep -qaP "\(null\)|\(\x00n\x00u\x00l\x00l\x00\)" "$exe"'
check "no C++ type information" '! grep -qaE "N10__cxxabiv1|St9type_info" "$exe"'
# Everything is linked in statically, yet the runtime's share is small: the icon is the largest
# part after the code.  A size above this means something big came with it (MinGW's printf alone
# added 27 KB).
size=$(stat -c %s "$exe")
check "size $size bytes is under 64 KiB" '(( size < 65536 ))'

res=$(i686-w64-mingw32-windres -i "$exe" -O rc 2>/dev/null)
check "dialog resource 1" 'grep -q "^1 DIALOGEX" <<<"$res"'
check "icon resource 1" 'grep -q "^1 14 /\* RT_GROUP_ICON" <<<"$res"'
# The icon's sizes as its group lists them: windres writes each entry as "\WWW\HHH\000\000", planes,
# bits, bytes, id, with width and height in octal and 0 for 256.
entries=() big=
while read -r w h bits id; do
    w=$((8#$w)) h=$((8#$h)); ((w)) || w=256; ((h)) || h=256
    entry=$w; ((h == w)) || entry+="x$h"
    entries+=("$entry/$bits")
    ((w == 256)) && big=$id
done < <(awk '/^1 14 \/\* RT_GROUP_ICON/ {on=1; next} on && /^END/ {exit} on' <<<"$res" |
         sed -nE 's/^ *"\\([0-7]{3})\\([0-7]{3})\\[0-7]{3}\\[0-7]{3}", *[0-9]+, *([0-9]+), *[^,]+, *([0-9]+).*/\1 \2 \3 \4/p')
sizes=$(printf '%s\n' "${entries[@]}" | sort -n | tr '\n' ' ')
check "icon: 16 to 256 pixels, 32 bits each: $sizes" '[ "$sizes" = "16/32 20/32 24/32 32/32 40/32 48/32 64/32 256/32 " ]'
# Its first four bytes, \x89PNG, as the little-endian word windres writes first.
first=$(awk -v head="^${big:-none} 3 /[*] RT_ICON" '$0 ~ head {on=1; next} on && /^ *0x/ {print $1; exit}' <<<"$res")
check "icon: the 256-pixel image is a PNG" '[ "$first" = "0x474e5089L," ]'
check "manifest resource 1" 'grep -q "^1 24 /\* RT_MANIFEST" <<<"$res"'
# The manifest as the loader reads it, joined back from windres's quoted lines.
manifest=$(awk '/^1 24 \/\* RT_MANIFEST/ {on=1; next} on && /^END/ {exit} on' <<<"$res" |
           sed -E 's/^ *"//; s/"$//; s/\\n$//; s/""/"/g')
has() { grep -qF -- "$1" <<<"$manifest"; }
check "manifest: common controls 6.0.0.0" 'has "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""'
check "manifest: per-monitor v2 first" 'grep -qE "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\"> *PerMonitorV2[,<]" <<<"$manifest"'
check "manifest: system-aware where that is unknown" 'has "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"'
for os in Vista:e2011457-1546-43c5-a5fe-008deee3d3f0 7:35138b9a-5d96-4fbd-8e2d-a2440225f93a \
          8:4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 8.1:1f676c76-80e1-4239-95bb-83d0f6d0da78 \
          10/11:8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    check "manifest: supports Windows ${os%%:*}" 'has "<supportedOS Id=\"{${os#*:}}\"/>"'
done
check "manifest: runs as invoker, without UI access" 'has "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"'
check "manifest: no UTF-8 code page" '! grep -q activeCodePage <<<"$manifest"'
version=$(awk '/^1 VERSIONINFO/ {on=1} on; on && /^END/ {exit}' <<<"$res")
check "version resource 1" '[ -n "$version" ]'
for line in "FILEVERSION 15, 12, 29, 1052" "PRODUCTVERSION 15, 12, 29, 1052" 'BLOCK "080404b0"' \
            'VALUE "FileDescription", "Velquor"' 'VALUE "ProductName", "Velquor"' \
            'VALUE "FileVersion", "15.12.29.1052"' 'VALUE "ProductVersion", "15.12.29.1052"' \
            'VALUE "OriginalFilename", "velquor.exe"' 'VALUE "Translation", 0x804, 1200'; do
    check "version: $line" 'grep -qF -- "$line" <<<"$version"'
done
exit $fail
