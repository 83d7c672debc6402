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
# Everything is linked in statically, yet the runtime's share is small; a size above this means
# something big came with it (MinGW's printf alone added 27 KB).
size=$(stat -c %s "$exe")
check "size $size bytes is under 36 KiB" '(( size < 36864 ))'

res=$(i686-w64-mingw32-windres -i "$exe" -O rc 2>/dev/null)
check "dialog resource 1" 'grep -q "^1 DIALOGEX" <<<"$res"'
check "icon resource 1" 'grep -q "^1 14 /\* RT_GROUP_ICON" <<<"$res"'
check "manifest resource 1" 'grep -q "^1 24 /\* RT_MANIFEST" <<<"$res"'
exit $fail
