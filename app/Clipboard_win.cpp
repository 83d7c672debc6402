// Copying a field to the clipboard and pasting the clipboard's text into a field.
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "app/LinkDialog.h"
#include "app/Utf16.h"

void LinkDialog::CopyFieldToClipboard(int fieldId) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 520 * sizeof(wchar_t));
    if (!memory) return;  // nothing to copy into; the clipboard keeps what it had
    wchar_t* text = static_cast<wchar_t*>(GlobalLock(memory));
    if (!text) {
        GlobalFree(memory);
        return;
    }
    text[0] = L'\0';
    const UINT length = GetField(fieldId, text, 520);
    // A longer field is cut at 519 units; not through a surrogate pair, which would leave half a
    // character on the clipboard.
    if (length == 519) text[WholeUnits(text, length)] = L'\0';
    GlobalUnlock(memory);

    if (length != 0 && OpenClipboard(window)) {
        EmptyClipboard();
        const bool accepted = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        CloseClipboard();
        if (accepted) return;  // the clipboard owns the memory now
    }
    GlobalFree(memory);
}

// Another program's block need not be terminated; only then is a terminated copy made, so the
// field's write never reads past the block.
const wchar_t* LinkDialog::TerminatedText(const wchar_t* block, SIZE_T units, wchar_t** copy) {
    *copy = nullptr;
    if (wmemchr(block, L'\0', units)) return block;
    if (!(*copy = static_cast<wchar_t*>(malloc((units + 1) * sizeof(wchar_t))))) return nullptr;
    memcpy(*copy, block, units * sizeof(wchar_t));
    (*copy)[units] = L'\0';
    return *copy;
}

void LinkDialog::PasteFieldFromClipboard(int fieldId) {
    if (!OpenClipboard(window)) return;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (data) {
        const wchar_t* text = static_cast<const wchar_t*>(GlobalLock(data));
        if (text) {
            wchar_t* copy;
            if (const wchar_t* terminated = TerminatedText(text, GlobalSize(data) / sizeof(wchar_t), &copy))
                SetField(fieldId, terminated);
            free(copy);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
}
