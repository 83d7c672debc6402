// Reads a hash out of a link field the user changed, and rewrites both links from it.
#include <cwchar>

#include "app/LinkDialog.h"
#include "links/HashText.h"

void LinkDialog::OnLinkEdited(int fieldId) {
    if (fieldId != IDC_LONG_LINK && fieldId != IDC_SHORT_LINK) return;

    // A longer text (a paste can be any length) is read cut to 519 units.
    wchar_t text[520];
    text[0] = L'\0';
    GetField(fieldId, text, 520);
    text[519] = L'\0';
    _wcslwr(text);

    uint8_t digest[20];
    if (ParseLinkText(text, digest)) {
        // Committed only now: a text that is no hash leaves the current hash intact, so a
        // download never asks for a hash that no field shows.
        DigestBytesToWords(digest, sha1.h);
        WriteMagnetLinks();
        SetField(IDC_NAME, L"");
        return;
    }
    ++busyDepth;
    SetField(fieldId == IDC_LONG_LINK ? IDC_SHORT_LINK : IDC_LONG_LINK, L"");
    --busyDepth;
}
