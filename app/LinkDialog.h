// The application object: the dialog window, the current info-hash and the form operations.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "app/DialogThunk.h"
#include "hash/Sha1.h"
#include "res/resource.h"

struct TorrentSummary;

class LinkDialog {
public:
    // Only the virtual table is set here; the dialog's initialisation sets the rest.
    LinkDialog() {}

    // Slot 0 of the virtual table, reached through the thunk with `this` in place of the
    // window handle.  Always returns FALSE.
    virtual INT_PTR CALLBACK HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // The form.
    void SetField(int id, const wchar_t* text);
    UINT GetField(int id, wchar_t* buffer, int capacity);
    void EnableDownload(BOOL enable);
    void ReportError(const wchar_t* text);

    const uint32_t* InfoHash() const { return sha1.h; }

    // Magnet links for infoHash into both link fields.
    void WriteMagnetLinks();
    // Reads a hash out of a link field the user has changed.
    void OnLinkEdited(int fieldId);

    void WriteEd2kLink(const wchar_t* name, uint64_t size, const uint32_t digest[4]);
    void HashFileForEd2k(const wchar_t* path);

    // 1 when an info dictionary closed in the data and the form now shows that torrent; 0, and
    // the form untouched, otherwise.
    int ScanTorrent(const uint8_t* data, uint32_t length);
    void LoadTorrentFile(const wchar_t* path);

    void CopyFieldToClipboard(int fieldId);
    void PasteFieldFromClipboard(int fieldId);
    // A clipboard block of `units` UTF-16 units as terminated text: the block itself when it
    // holds a terminator, else a terminated copy, also left in `*copy` for the caller to free;
    // nullptr when that copy can't be made.
    static const wchar_t* TerminatedText(const wchar_t* block, SIZE_T units, wchar_t** copy);
    // Non-zero when a file was chosen.  A dialog that failed (CommDlgExtendedError() is not 0
    // afterwards) empties pathBuffer, which may hold whatever it refused.
    BOOL ChooseFile(bool save, bool anyFile);

    void StartDownload();

    HWND window;
    DialogThunk thunk;
    int32_t busyDepth;
    Sha1Context sha1;  // sha1.h is infoHash
    wchar_t shortLinkText[33];
    wchar_t pathBuffer[MAX_PATH];
    // Raised while one of our file dialogs runs its modal loop (UI thread only).
    int32_t fileDialogDepth;

private:
    void OnInitDialog();
    void OnCommand(WPARAM wParam, LPARAM lParam);
    void OnDropFiles(HDROP drop);
    // Writes the name, both links and the torrent's own ed2k link from a scan that closed an
    // info dictionary over `length` bytes.
    void ShowTorrent(const TorrentSummary& scan, uint32_t length);

    // The download worker reaches this object only through this message, which the UI thread
    // handles while the worker waits (download/Download_win.cpp).  Anyone can post it, so only
    // the step the worker announced on the window is acted on.
    static constexpr UINT kDownloadStepMessage = WM_APP + 1;
    void OnDownloadStep(LPARAM step);
    static DWORD WINAPI DownloadTorrentThread(LPVOID self);
};

// Runs IDD_MAIN modally on `dialog` and returns the dialog's result (-1 if it could not be
// created).  The product calls it with an object on its own stack; tests with theirs.
INT_PTR ShowLinkDialog(LinkDialog& dialog);

// The product's dialog runner: a fresh object in this frame, for exactly the dialog's life.
INT_PTR RunLinkDialog();
