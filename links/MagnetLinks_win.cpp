// Writes infoHash into the two link fields as hex and base32 magnet links.
#include <cwchar>

#include "app/LinkDialog.h"
#include "links/Base32.h"

void LinkDialog::WriteMagnetLinks() {
    ++busyDepth;  // our own writes must not be parsed back

    const uint32_t* h = sha1.h;
    wchar_t link[64];
    _snwprintf(link, 64, L"magnet:?xt=urn:btih:%08X%08X%08X%08X%08X", h[0], h[1], h[2], h[3], h[4]);
    link[63] = L'\0';
    SetField(IDC_LONG_LINK, link);

    uint8_t bytes[20];
    Sha1DigestBytes(h, bytes);
    char base32[33];
    Base32Encode20(bytes, base32);
    for (int i = 0; i < 33; ++i) shortLinkText[i] = wchar_t(base32[i]);
    _snwprintf(link, 64, L"magnet:?xt=urn:btih:%s", shortLinkText);
    link[63] = L'\0';
    SetField(IDC_SHORT_LINK, link);

    --busyDepth;
}
