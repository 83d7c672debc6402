// Reads a hash out of a link field the user changed, and rewrites both links from it.
#include <cstdlib>
#include <cwchar>

#include "app/LinkDialog.h"
#include "links/HashText.h"

void LinkDialog::OnLinkEdited(int fieldId) {
    if (fieldId != IDC_LONG_LINK && fieldId != IDC_SHORT_LINK) return;

    // The whole text, however long: a link's hash may come after a long name and many trackers.
    const int capacity = GetWindowTextLengthW(GetDlgItem(window, fieldId)) + 1;
    wchar_t* text = static_cast<wchar_t*>(std::malloc(capacity * sizeof(wchar_t)));
    if (!text) return;  // nothing read, nothing to judge: both links stay as they are
    text[0] = L'\0';
    GetField(fieldId, text, capacity);
    _wcslwr(text);

    uint8_t digest[20];
    const int found = ParseLinkText(text, digest);
    std::free(text);
    if (found) {
        // Committed only now: a text that is no hash leaves infoHash as it was, but shown by no
        // field any more, so that the download asks for nothing.
        DigestBytesToWords(digest, sha1.h);
        infoHashShown = true;
        WriteMagnetLinks();
        SetField(IDC_NAME, L"");
        return;
    }
    infoHashShown = false;
    ++busyDepth;
    SetField(fieldId == IDC_LONG_LINK ? IDC_SHORT_LINK : IDC_LONG_LINK, L"");
    --busyDepth;
}
