// The four form operations through which every result reaches the window.
#include "app/LinkDialog.h"

const wchar_t LinkDialog::kCannotRead[] = L"\x65E0\x6CD5\x8BFB\x53D6\x6587\x4EF6!";

void LinkDialog::SetField(int id, const wchar_t* text) { SetDlgItemTextW(window, id, text); }

UINT LinkDialog::GetField(int id, wchar_t* buffer, int capacity) {
    return GetDlgItemTextW(window, id, buffer, capacity);
}

void LinkDialog::EnableDownload(BOOL enable) { EnableWindow(GetDlgItem(window, IDC_DOWNLOAD), enable); }

void LinkDialog::ReportError(const wchar_t* text) {
    // A command another program sent (a click it automates) gets its answer first: the box then
    // neither keeps that program waiting nor opens inside its SendMessage.
    if (InSendMessage()) ReplyMessage(0);
    MessageBoxW(window, text, nullptr, MB_ICONERROR);
}
