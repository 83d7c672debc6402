// The dialog runner, the binding of the window to LinkDialog, and the message table.
#include "app/LinkDialog.h"

#include <shlobj.h>

#include <cstdlib>
#include <cwchar>
#include <utility>

#include "app/LongPath.h"

namespace {

INT_PTR CALLBACK InitialDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    LinkDialog* object = reinterpret_cast<LinkDialog*>(lParam);
    object->window = window;
    DLGPROC thunk = BindDialogThunk(object->thunk, object);
    if (!thunk) {
        EndDialog(window, -1);
        return FALSE;
    }
    SetWindowLongPtrW(window, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(thunk));
    return thunk(window, WM_INITDIALOG, wParam, 0);
}

}  // namespace

INT_PTR ShowLinkDialog(LinkDialog& dialog, const wchar_t* commandLine) {
    dialog.thunk = DialogThunk{};  // nothing to release if the window never initialises
    dialog.hashJob = 0;
    dialog.commandLine = commandLine;
    dialog.pathBuffer = static_cast<wchar_t*>(std::malloc(kPathUnits * sizeof(wchar_t)));
    if (!dialog.pathBuffer) return -1;  // as for a dialog that can't be created
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                     InitialDialogProc, reinterpret_cast<LPARAM>(&dialog));
    // A hash still running has no window left to write to; it need not read on.
    dialog.StopHash();
    ReleaseDialogThunk(dialog.thunk);
    std::free(dialog.pathBuffer);
    dialog.pathBuffer = nullptr;
    return result;
}

INT_PTR RunLinkDialog(const wchar_t* commandLine) {
    LinkDialog dialog;
    return ShowLinkDialog(dialog, commandLine);
}

INT_PTR CALLBACK LinkDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        EndDialog(window, 0);
        break;
    case WM_INITDIALOG:
        OnInitDialog();
        break;
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        break;
    case WM_LBUTTONDOWN:
        // Lets a press anywhere on the client area drag the window.
        PostMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
        break;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        break;
    case WM_SETCURSOR:
        // Working in the background: the window still takes every click and key.
        if (Hashing()) {
            SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
            SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        break;
    case kDownloadStepMessage:
        OnDownloadStep(lParam);
        break;
    case kHashStepMessage:
        OnHashStep(lParam);
        break;
    case kCommandLineMessage:
        OnCommandLine();
        break;
    case WM_TIMER:
        if (wParam == kRepostTimer) HandOnKeptSteps();
        break;
    }
    return FALSE;
}

void LinkDialog::OnInitDialog() {
    busyDepth = 0;
    modalDepth = 0;
    hashJob = 0;
    hashProgressShown = false;
    infoHashShown = false;
    pathBuffer[0] = L'\0';
    shortLinkText[0] = L'\0';
    // Whatever the stack held before would otherwise be what a download asks the servers for.
    sha1 = Sha1Context{};

    wchar_t title[64];
    _snwprintf(title, 64, L"Velquor %d.%d.%d.%d%s By Marlov", VELQUOR_VERSION,
               IsUserAnAdmin() ? L" [\x7BA1\x7406\x5458]" : L"");
    title[63] = L'\0';
    SetWindowTextW(window, title);

    // Each at the size this screen's DPI asks for, drawn at that size rather than scaled from one.
    const HINSTANCE module = GetModuleHandleW(nullptr);
    for (const auto& icon : {std::make_pair(ICON_BIG, SM_CXICON), std::make_pair(ICON_SMALL, SM_CXSMICON)}) {
        const int size = GetSystemMetrics(icon.second);
        HANDLE image = LoadImageW(module, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON, size, size, LR_SHARED);
        SendMessageW(window, WM_SETICON, icon.first, reinterpret_cast<LPARAM>(image));
    }

    // Run as administrator, the window would refuse what Explorer, running as the user, drags
    // onto it.  The call exists from Windows 7 on; without it the program still starts.
    using MessageFilter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    if (const auto allow = reinterpret_cast<MessageFilter>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx")))) {
        const UINT kCopyGlobalData = 0x0049;  // how the shell hands a drop across the privilege line
        for (UINT message : {UINT(WM_DROPFILES), UINT(WM_COPYDATA), kCopyGlobalData}) allow(window, message, 1, nullptr);  // MSGFLT_ALLOW
    }

    // Explorer's Open with and Send To, and a file dropped onto the exe's icon, name the files
    // here; they are taken once the window shows, as if dropped onto it.
    if (commandLine) PostMessageW(window, kCommandLineMessage, 0, 0);
}

void LinkDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (id >= IDC_ED2K_LINK && id <= IDC_NAME) {
        if (code == EN_SETFOCUS)
            SendMessageW(reinterpret_cast<HWND>(lParam), EM_SETSEL, 0, -1);
        else if (code == EN_CHANGE && busyDepth == 0)
            OnLinkEdited(id);
        return;
    }
    // Matched against the whole wParam so that only a click (code 0) acts.
    switch (wParam) {
    case IDC_TOPMOST:
        SetWindowPos(window, IsDlgButtonChecked(window, IDC_TOPMOST) ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
        break;
    case IDC_COPY_ED2K:
        CopyFieldToClipboard(IDC_ED2K_LINK);
        break;
    case IDC_COPY_LONG:
        CopyFieldToClipboard(IDC_LONG_LINK);
        break;
    case IDC_COPY_SHORT:
        CopyFieldToClipboard(IDC_SHORT_LINK);
        break;
    case IDC_COPY_NAME:
        CopyFieldToClipboard(IDC_NAME);
        break;
    case IDC_PASTE_LONG:
        PasteFieldFromClipboard(IDC_LONG_LINK);
        break;
    case IDC_PASTE_SHORT:
        PasteFieldFromClipboard(IDC_SHORT_LINK);
        break;
    case IDC_BROWSE: {
        PathText chosen;
        if (ChooseFile(false, true, chosen)) HashFileForEd2k(chosen.text);
        break;
    }
    case IDC_OPEN_TORRENT: {
        PathText chosen;
        if (ChooseFile(false, false, chosen)) {
            StopHash();
            // The user asked for this file as a torrent: one that shows none says why.
            if (const wchar_t* error = LoadTorrentFile(chosen.text)) ReportError(error);
        }
        break;
    }
    case IDCANCEL:
        // Esc: stops a hash, and otherwise does nothing (the dialog never closes on it).
        StopHash();
        break;
    case IDC_DOWNLOAD:
        StartDownload();
        break;
    }
}

void LinkDialog::TakeFile(const wchar_t* path, bool first) {
    // A dropped film is no torrent, and that is no fault; its hash says so if it fails.
    LoadTorrentFile(path);
    if (first) HashFileForEd2k(path);
}

void LinkDialog::OnDropFiles(HDROP drop) {
    StopHash();
    // Each path at its own length: a folder unpacked from an archive goes well past MAX_PATH.
    for (UINT i = 0;; ++i) {
        const UINT units = DragQueryFileW(drop, i, nullptr, 0);
        if (units == 0) break;
        wchar_t* path = static_cast<wchar_t*>(std::malloc((units + 1) * sizeof(wchar_t)));
        if (!path) break;
        if (DragQueryFileW(drop, i, path, units + 1) != 0) TakeFile(path, i == 0);
        std::free(path);
    }
    DragFinish(drop);
}

void LinkDialog::OnCommandLine() {
    const wchar_t* line = commandLine;
    commandLine = nullptr;  // taken once, whoever else posts the message
    if (!line) return;
    // The dialog's loop shows the window only once its queue is empty, and this came first: a
    // message box for a file would otherwise stand alone on the desktop.
    if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    int count = 0;
    // Quoted paths with spaces, and any name in any script, arrive whole.
    wchar_t** args = CommandLineToArgvW(line, &count);
    if (!args) return;
    StopHash();
    for (int i = 1; i < count; ++i) {
        // Relative to the folder the program was started in, which a file dialog may change
        // before the hash gets to open it.
        wchar_t* full = FullPath(args[i]);
        TakeFile(full ? full : args[i], i == 1);
        std::free(full);
    }
    LocalFree(args);
}
