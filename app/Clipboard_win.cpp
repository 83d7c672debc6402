// Copying a field to the clipboard and pasting the clipboard's text into a field.
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "app/LinkDialog.h"
#include "app/Utf16.h"

namespace {

// Clipboard managers and remote desktop clients open the clipboard for a moment after every
// change, so a click that comes just then would find it taken and lose the user's copy or paste.
// The open is tried again every 50 ms for about a second; one nobody contends succeeds at once.
bool OpenClipboardPatiently(HWND window) {
    for (int retries = 20;; --retries) {
        if (OpenClipboard(window)) return true;
        if (retries == 0) return false;
        Sleep(50);
    }
}

}  // namespace

void LinkDialog::CopyFieldToClipboard(int fieldId) {
    wchar_t text[520];
    text[0] = L'\0';
    UINT length = GetField(fieldId, text, 520);
    // A longer field is cut at 519 units; not through a surrogate pair, which would leave half a
    // character on the clipboard.
    if (length == 519) length = WholeUnits(text, length);
    if (length == 0) return;  // nothing to copy; the clipboard keeps what it had

    // Exactly the text and its terminator: a reader that goes by the block's size finds nothing
    // after them.
    bool copied = false;
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (length + 1) * sizeof(wchar_t))) {
        if (wchar_t* block = static_cast<wchar_t*>(GlobalLock(memory))) {
            memcpy(block, text, length * sizeof(wchar_t));
            block[length] = L'\0';
            GlobalUnlock(memory);
            if (OpenClipboardPatiently(window)) {
                EmptyClipboard();
                copied = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;  // then the clipboard owns it
                CloseClipboard();
            }
        }
        if (!copied) GlobalFree(memory);
    }
    // Otherwise the user would paste whatever the clipboard held before, unaware.
    if (!copied)  // 无法使用剪贴板，复制失败!
        ReportError(L"\x65E0\x6CD5\x4F7F\x7528\x526A\x8D34\x677F\xFF0C\x590D\x5236\x5931\x8D25!");
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
    if (!OpenClipboardPatiently(window)) {  // 无法使用剪贴板，粘贴失败!
        ReportError(L"\x65E0\x6CD5\x4F7F\x7528\x526A\x8D34\x677F\xFF0C\x7C98\x8D34\x5931\x8D25!");
        return;
    }
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
