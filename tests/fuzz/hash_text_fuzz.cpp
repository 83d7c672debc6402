// libFuzzer target: any 16-bit units as a field's text; a success must round-trip as hex.
#include <cstdlib>
#include <cstring>
#include <string>

#include "links/HashText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Exactly the units given, terminated, on the heap so a read past the end is caught.
    const size_t units = size / 2;
    char16_t* text = static_cast<char16_t*>(malloc((units + 1) * sizeof(char16_t)));
    if (!text) return 0;
    memcpy(text, data, units * sizeof(char16_t));
    text[units] = 0;
    uint8_t digest[20], again[20];
    memset(digest, 0xEE, 20);
    if (ParseLinkText(text, digest)) {
        char16_t hex[41];
        for (int i = 0; i < 40; ++i) hex[i] = u"0123456789abcdef"[(digest[i / 2] >> (i % 2 ? 0 : 4)) & 15];
        hex[40] = 0;
        if (ParseHashText(hex, again) != 1 || memcmp(again, digest, 20) != 0) abort();
    } else {
        for (uint8_t b : digest)
            if (b != 0xEE) abort();
    }
    free(text);
    return 0;
}
