// Cutting UTF-16 text at a unit count without leaving half a character behind.
#pragma once

// The number of units to keep of the first `n`: one fewer when the last is the high half of a
// surrogate pair whose low half the cut removed.
inline unsigned WholeUnits(const wchar_t* text, unsigned n) {
    return n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF ? n - 1 : n;
}
