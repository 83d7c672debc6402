// The four form operations through which every result reaches the window, and the one count of
// our modal windows that keeps a second one from opening over the first.
#include "app/LinkDialog.h"

#include "app/UiStep.h"

const wchar_t LinkDialog::kCannotRead[] = L"\x65E0\x6CD5\x8BFB\x53D6\x6587\x4EF6!";

namespace {

// Inside another thread's SendMessage nothing tells when it ends: a kept step is tried again
// after this.
constexpr UINT kRepostMs = 50;

}  // namespace

void LinkDialog::SetField(int id, const wchar_t* text) { SetDlgItemTextW(window, id, text); }

UINT LinkDialog::GetField(int id, wchar_t* buffer, int capacity) {
    return GetDlgItemTextW(window, id, buffer, capacity);
}

void LinkDialog::EnableDownload(BOOL enable) { EnableWindow(GetDlgItem(window, IDC_DOWNLOAD), enable); }

void LinkDialog::ReportError(const wchar_t* text) {
    // A command another program sent (a click it automates) gets its answer first: the box then
    // neither keeps that program waiting nor opens inside its SendMessage.
    if (InSendMessage()) ReplyMessage(0);
    BeginModal();
    MessageBoxW(window, text, nullptr, MB_ICONERROR);
    EndModal();
}

bool LinkDialog::DeferWhileModal(UiStep& step) {
    if (modalDepth == 0 && !InSendMessage()) return false;
    KeepStep(step);
    // The close of our own window hands it on; another thread's SendMessage gives no sign.
    if (modalDepth == 0) SetTimer(window, kRepostTimer, kRepostMs, nullptr);
    return true;
}

void LinkDialog::BeginModal() { ++modalDepth; }

void LinkDialog::EndModal() {
    if (--modalDepth == 0) HandOnKeptSteps();
}

// Also on kRepostTimer.  Posted, the steps run from the loop after the current message, so that
// the command that raised the modal window finishes first, on what the user chose in it.
void LinkDialog::HandOnKeptSteps() {
    KillTimer(window, kRepostTimer);
    // With a modal window up again its close will do it.  A queue that refused a post is tried
    // again on the timer, which needs no room in it.
    if (modalDepth == 0 && !RepostKeptSteps(window)) SetTimer(window, kRepostTimer, kRepostMs, nullptr);
}
