// The application object: the dialog window, the current info-hash and the form operations.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

#include "app/DialogThunk.h"
#include "hash/Sha1.h"
#include "res/resource.h"

struct TorrentSummary;
struct DownloadStep;
struct UiStep;

// Units of the longest path Windows takes (in its \\?\ form), terminator included.
constexpr DWORD kPathUnits = 32768;

// A path buffer of kPathUnits units on the heap, given back when it goes out of scope: a file
// dialog's own.  `text` is nullptr when it could not be had.
struct PathText {
    PathText();
    ~PathText();
    PathText(const PathText&) = delete;
    PathText& operator=(const PathText&) = delete;
    wchar_t* text;
};

class LinkDialog {
public:
    // Only the virtual table is set here; the dialog's initialisation sets the rest.
    LinkDialog() {}

    // Slot 0 of the virtual table, reached through the thunk with `this` in place of the
    // window handle.  Returns FALSE, but for WM_SETCURSOR while a hash runs.
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
    // Starts hashing the file on a worker thread, after stopping any hash still running; the
    // link, or the field's old text should the file fail, arrives when the hash ends.
    void HashFileForEd2k(const wchar_t* path);
    // Stops a running hash: it writes nothing more, and the field gets back what it showed before.
    void StopHash();
    bool Hashing() const { return hashJob != 0; }

    // 1 when an info dictionary closed in the data and the form now shows that torrent; 0, and
    // the form untouched, otherwise.
    int ScanTorrent(const uint8_t* data, uint32_t length);
    // Shows the torrent in the file at `path`; nullptr when it did, else the text that says why
    // not, for the caller to show or not.
    const wchar_t* LoadTorrentFile(const wchar_t* path);
    // One file dropped or named on the command line, as a drop takes each in turn: tried as a
    // torrent without a word, and the first also hashed for its own ed2k link.
    void TakeFile(const wchar_t* path, bool first);
    // "无法读取文件!"
    static const wchar_t kCannotRead[];

    void CopyFieldToClipboard(int fieldId);
    void PasteFieldFromClipboard(int fieldId);
    // A clipboard block of `units` UTF-16 units as terminated text: the block itself when it
    // holds a terminator, else a terminated copy, also left in `*copy` for the caller to free;
    // nullptr when that copy can't be made.
    static const wchar_t* TerminatedText(const wchar_t* block, SIZE_T units, wchar_t** copy);
    // Non-zero when a file was chosen; its full path is then in `chosen`, and in pathBuffer for the
    // next dialog.  The dialog works on `chosen` alone, starting from what pathBuffer holds.  A
    // dialog that failed (CommDlgExtendedError() is not 0 afterwards) empties pathBuffer, which may
    // hold whatever it refused.
    BOOL ChooseFile(bool save, bool anyFile, PathText& chosen);

    // For a worker's step that opens a window.  While a modal window of ours is up (a file
    // dialog, a message box) another one must not open: it would be a second modal thing owned
    // by the main window, which is enabled again when either closes.  Nor may one open inside
    // another thread's SendMessage.  True then: the step is kept and handed to its message's
    // handler again once a window may open, and the handler returns without FinishStep.
    bool DeferWhileModal(UiStep& step);

    // Asks for the shown hash on a worker thread, or says that no hash is shown.
    void StartDownload();

    HWND window;
    DialogThunk thunk;
    int32_t busyDepth;
    Sha1Context sha1;  // sha1.h is infoHash
    wchar_t shortLinkText[33];
    // Where every file dialog starts: the path last chosen in one, or the name last proposed for
    // saving a download.  kPathUnits units, for the dialog's life.
    wchar_t* pathBuffer;
    // Whether the form shows infoHash: false before any hash and after a text that holds none,
    // when the download has nothing it may ask for.
    bool infoHashShown;
    // The program's command line, until the window has taken the files it names; nullptr when
    // there is none to take (a test's dialog).
    const wchar_t* commandLine;
    // Raised while one of our modal windows (file dialogs, message boxes) runs its loop, in which
    // workers' steps are still delivered (UI thread only).
    int32_t modalDepth;

    // The running hash's job number, 0 when none (UI thread only).  Once its progress has shown,
    // hashBefore holds what the ed2k field showed before it.
    static constexpr int kBeforeUnits = 520;
    LONG hashJob;
    bool hashProgressShown;
    wchar_t hashBefore[kBeforeUnits];

    // What the workers post to the window: each a step they announced (app/UiStep.h).
    static constexpr UINT kDownloadStepMessage = WM_APP + 1;
    static constexpr UINT kHashStepMessage = WM_APP + 2;
    // Posted to itself at initialisation: the files named on the command line, once the window shows.
    static constexpr UINT kCommandLineMessage = WM_APP + 3;

private:
    void OnInitDialog();
    // Around every modal window of ours; the last one to close hands on the steps it kept waiting.
    void BeginModal();
    void EndModal();
    void HandOnKeptSteps();
    static constexpr UINT_PTR kRepostTimer = 1;
    void OnCommand(WPARAM wParam, LPARAM lParam);
    void OnDropFiles(HDROP drop);
    void OnCommandLine();
    // Writes the name, both links and the torrent's own ed2k link from a scan that closed an
    // info dictionary over `length` bytes.
    void ShowTorrent(const TorrentSummary& scan, uint32_t length);

    // The download worker (download/Download_win.cpp) and the hash worker (links/) reach this
    // object only through their steps, which the UI thread runs while they wait.
    void OnDownloadStep(LPARAM step);
    void RunDownloadStep(DownloadStep& step);
    static DWORD WINAPI DownloadTorrentThread(LPVOID self);
    void OnHashStep(LPARAM step);
};

// Runs IDD_MAIN modally on `dialog` and returns the dialog's result (-1 if it could not be
// created).  The product calls it with an object on its own stack; tests with theirs.
// With a command line, the files it names are taken once the window shows.
INT_PTR ShowLinkDialog(LinkDialog& dialog, const wchar_t* commandLine = nullptr);

// The product's dialog runner: a fresh object in this frame, for exactly the dialog's life, and
// the files `commandLine` names (the program's own, as GetCommandLineW gives it) taken.
INT_PTR RunLinkDialog(const wchar_t* commandLine);
