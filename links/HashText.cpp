// The hash text reader.  Decodes into a local buffer and hands the bytes out only on
// success, so a text that is no hash never leaves the caller's hash half overwritten.
#include "links/HashText.h"

#include <cstring>

namespace {

int HexValue(uint32_t c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    return -1;
}

int Base32Value(uint32_t c) {
    if (c >= 'a' && c <= 'z') return int(c - 'a');
    if (c >= 'A' && c <= 'Z') return int(c - 'A');
    if (c >= '2' && c <= '7') return int(c - '2' + 26);
    return -1;
}

// Characters compared as unsigned code units, so a negative char never looks like a digit.
template <typename Char>
uint32_t Unit(Char c) {
    if (sizeof(Char) == 1) return uint8_t(c);
    if (sizeof(Char) == 2) return uint16_t(c);
    return uint32_t(c);
}

template <typename Char>
bool DecodeHex(const Char* text, uint8_t out[20]) {
    // Stops at the first non-digit, so the terminator is never read past.
    for (int i = 0; i < 40; ++i) {
        int nibble = HexValue(Unit(text[i]));
        if (nibble < 0) return false;
        if (i % 2 == 0)
            out[i / 2] = uint8_t(nibble << 4);
        else
            out[i / 2] = uint8_t(out[i / 2] | nibble);
    }
    return true;
}

template <typename Char>
bool DecodeBase32(const Char* text, uint8_t out[20]) {
    uint32_t accumulator = 0;
    int pending = 0;
    int pos = 0;
    for (int i = 0; i < 32; ++i) {
        int value = Base32Value(Unit(text[i]));
        if (value < 0) return false;
        accumulator = (accumulator << 5) | uint32_t(value);
        pending += 5;
        if (pending >= 8) {
            pending -= 8;
            out[pos++] = uint8_t(accumulator >> pending);
        }
    }
    return pos == 20 && pending == 0;
}

// Whether `text` starts with the ASCII `word`; stops at the text's terminator.
template <typename Char>
bool StartsWith(const Char* text, const char* word) {
    for (; *word; ++text, ++word)
        if (Unit(*text) != uint8_t(*word)) return false;
    return true;
}

}  // namespace

template <typename Char>
int ParseHashText(const Char* text, uint8_t digest[20]) {
    while (Unit(*text) == ' ') ++text;
    uint8_t local[20];
    if (!DecodeHex(text, local) && !DecodeBase32(text, local)) return 0;
    memcpy(digest, local, 20);
    return 1;
}

template <typename Char>
int ParseLinkText(const Char* text, uint8_t digest[20]) {
    for (const Char* p = text; *p; ++p) {
        if (!StartsWith(p, "xt=urn")) continue;
        // The first ":" from the marker ends "urn", the next one ends the hash kind.
        const Char* colon = p;
        while (*colon && Unit(*colon) != ':') ++colon;
        if (!*colon) break;
        const Char* kind = colon + 1;
        const Char* second = kind;
        while (*second && Unit(*second) != ':') ++second;
        if (!*second) break;
        // A v2 info-hash ("btmh") or a file's own hash ("sha1", "tree:tiger") is no v1 info-hash,
        // however much its first digits look like one.  Hybrid links carry a "btih" topic beside
        // the "btmh", in either order, so the search goes on to the next topic.
        if (second - kind != 4 || !StartsWith(kind, "btih")) continue;
        if (ParseHashText(second + 1, digest)) return 1;
        break;
    }
    return ParseHashText(text, digest);
}

void DigestBytesToWords(const uint8_t digest[20], uint32_t h[5]) {
    for (int k = 0; k < 5; ++k)
        h[k] = uint32_t(digest[4 * k]) << 24 | uint32_t(digest[4 * k + 1]) << 16 | uint32_t(digest[4 * k + 2]) << 8 |
               uint32_t(digest[4 * k + 3]);
}

template int ParseHashText<char>(const char*, uint8_t*);
template int ParseHashText<wchar_t>(const wchar_t*, uint8_t*);
template int ParseHashText<char16_t>(const char16_t*, uint8_t*);
template int ParseLinkText<char>(const char*, uint8_t*);
template int ParseLinkText<wchar_t>(const wchar_t*, uint8_t*);
template int ParseLinkText<char16_t>(const char16_t*, uint8_t*);
