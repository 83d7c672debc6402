// The download button: a worker thread fetches the .torrent for the current info-hash from the
// primary cache server over HTTP, then the backup over HTTPS, and offers it for saving.
//
// The worker owns only its internet handles, its receive buffer and a copy of the window handle.
// Everything that belongs to LinkDialog (infoHash, the scan that rewrites the form, pathBuffer,
// the save dialog, the file, the message boxes) is done by the UI thread, in steps the worker
// hands over and waits for (app/UiStep.h), so the user's own commands can never interleave with
// them and the order of events stays that of a single thread.  Captions and the button's state
// are plain cross-thread window calls.
#include "app/LinkDialog.h"

#include <commdlg.h>
#include <wininet.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <initializer_list>

#include "app/LongPath.h"
#include "app/UiStep.h"
#include "app/Utf16.h"
#include "download/DownloadServers.h"
#include "torrent/TorrentSummary.h"

// Where the two URL forms are served: the primary keeps torrents under the first and last byte
// of the info-hash, the backup under /torrent.  A server silent for 20 s is taken as gone: far
// beyond any pause of a slow but working one, and soon enough that the backup still gets its turn
// while the user waits (WinINet's own receive timeout is an hour).
const DownloadServers kCacheServers = {L"bt.box.n0808.com", L"itorrents.org", 20000};
const DownloadServers* downloadServers = &kCacheServers;

// What the worker asks of the UI thread.
struct DownloadStep : UiStep {
    enum Kind { kTakeHash, kOffer, kReport } kind;
    uint32_t hash[5];        // kTakeHash: out, infoHash as it is now; kOffer: the hash asked for
    bool shown;              // kTakeHash: out, whether the form shows a hash at all
    const uint8_t* body;     // kOffer: the complete body
    uint32_t total;
    const wchar_t* error;    // kOffer: out, the error the offer leaves; kReport: the text
    bool told;               // kOffer: out, the user has been told of a failed save
};

namespace {

const char kUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1; Trident/5.0; SLCC2; Media Center PC 6.0)";

const wchar_t kConnecting[] = L"\x8FDE\x63A5\x670D\x52A1\x5668\x4E2D...";               // 连接服务器中...
const wchar_t kConnectingBackup[] = L"\x8FDE\x63A5\x5907\x7528\x670D\x52A1\x5668(%d)";  // 连接备用服务器(%d)
const wchar_t kPreparing[] = L"\x51C6\x5907\x4E0B\x8F7D\x4E2D...";                      // 准备下载中...
const wchar_t kDownloading[] = L"\x4E0B\x8F7D\x4E2D...";                                // 下载中...
const wchar_t kIdle[] = L"\x4E0B\x8F7D\x79CD\x5B50\x6587\x4EF6";                        // 下载种子文件

const wchar_t kNoServer[] = L"\x65E0\x6CD5\x8FDE\x63A5" L"BT\x79CD\x5B50\x670D\x52A1\x5668!";  // 无法连接BT种子服务器!
const wchar_t kNotFound[] = L"\x670D\x52A1\x5668\x4E0A\x6CA1\x6709\x627E\x5230\x79CD\x5B50\x6587\x4EF6!";  // 服务器上没有找到种子文件!
const wchar_t kBadBody[] = L"\x4E0B\x8F7D\x6587\x4EF6\x9519\x8BEF!";                           // 下载文件错误!
const wchar_t kCannotCreate[] = L"\x65E0\x6CD5\x521B\x5EFA\x6587\x4EF6!";                      // 无法创建文件!
const wchar_t kNoHash[] = L"\x8BF7\x5148\x8F93\x5165\x78C1\x529B\x94FE\x63A5\x6216\x79CD\x5B50\x54C8\x5E0C!";  // 请先输入磁力链接或种子哈希!

constexpr DWORD kReceiveBuffer = 0x500000;  // 5 MiB; a longer body is cut here
constexpr DWORD kPiece = 512;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(kRequestFlags == 0x84000100, "the request flags as sent");
constexpr int kNameCapacity = 251;  // 250 units of the name, ".torrent" appended after

// msvcrt's formatter, as everywhere else in the program (the C++ library's would bring a second
// printf into the exe), terminated even where the text is cut.
void FormatV(wchar_t* out, size_t units, const wchar_t* format, va_list args) {
    _vsnwprintf(out, units, format, args);
    out[units - 1] = L'\0';
}
void Format(wchar_t* out, size_t units, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(out, units, format, args);
    va_end(args);
}
template <size_t N>
void Format(wchar_t (&out)[N], const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(out, N, format, args);
    va_end(args);
}

// The name under which the worker announces the step it is about to post.
const wchar_t kStepName[] = L"VelquorDownloadStep";

// What a file name can't hold on Windows, as the save dialog would refuse it (or, under Wine,
// read a backslash as a folder): each becomes "_".
bool ForbiddenInFileName(wchar_t c) { return c < 0x20 || std::wcschr(L"\\/:*?\"<>|", c) != nullptr; }

// All of `bytes` under `path`, or nothing: a file that was created but not written whole (a full
// disk, a failing drive) is deleted rather than left looking like a torrent.
bool SaveWhole(const wchar_t* path, const uint8_t* bytes, DWORD count) {
    const LongPath openable(path);
    HANDLE file = CreateFileW(openable.get(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file, bytes, count, &written, nullptr) && written == count;
    if (CloseHandle(file) && whole) return true;
    DeleteFileW(openable.get());
    return false;
}

// How long a server may keep silent on `handle`'s connections: while connecting, while the
// request goes out, and at each wait for the answer's headers or the next bytes of its body.
void SetSilence(HINTERNET handle, DWORD ms) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionW(handle, option, &ms, sizeof ms);
}

// Each handle made through the internet handle gets the silence limit as soon as it exists, before
// its request goes out: Wine's WinINet passes no timeout down from the internet handle, as Windows
// does, and a limit set once the request has been opened would come after its longest wait.
void CALLBACK OnInternetStatus(HINTERNET, DWORD_PTR silenceMs, DWORD status, LPVOID info, DWORD) {
    if (status != INTERNET_STATUS_HANDLE_CREATED) return;
    HINTERNET created = reinterpret_cast<HINTERNET>(static_cast<INTERNET_ASYNC_RESULT*>(info)->dwResult);
    SetSilence(created, DWORD(silenceMs));
}

// Runs `step` on the UI thread.  False when the window is gone.
bool Hand(HWND window, DownloadStep& step) {
    return HandOverStep(window, kStepName, LinkDialog::kDownloadStepMessage, step);
}

}  // namespace

void LinkDialog::StartDownload() {
    // A download for a hash that no field shows would save a torrent the user never asked for:
    // the one shown before the text that holds no hash, or forty zeros before any.
    if (!infoHashShown) {
        ReportError(kNoHash);
        return;
    }
    EnableDownload(FALSE);
    HANDLE thread = CreateThread(nullptr, 0, DownloadTorrentThread, this, 0, nullptr);
    if (!thread) {
        // Nothing runs that would enable the button again, and a user can simply retry.
        EnableDownload(TRUE);
        return;
    }
    CloseHandle(thread);
}

// Runs on the UI thread, from its own message loop, while the worker waits.
void LinkDialog::OnDownloadStep(LPARAM param) {
    UiStep* taken = TakeStep(window, kStepName, param);
    if (!taken) return;
    DownloadStep& step = *static_cast<DownloadStep*>(taken);
    // The offer opens the save dialog, the report a message box.  Inside the user's own Browse or
    // Open torrent dialog, the user's command comes first, on the file the user chose, and the
    // offer after it; a box comes after the one before it.
    if (step.kind != DownloadStep::kTakeHash && DeferWhileModal(step)) return;
    RunDownloadStep(step);
    FinishStep(step);
}

void LinkDialog::RunDownloadStep(DownloadStep& step) {
    switch (step.kind) {
    case DownloadStep::kTakeHash:
        std::memcpy(step.hash, sha1.h, sizeof step.hash);
        step.shown = infoHashShown;
        return;
    case DownloadStep::kReport:
        ReportError(step.error);
        return;
    case DownloadStep::kOffer:
        break;
    }
    // The server is trusted for nothing: a body is judged before it touches the form, and only
    // the whole torrent that was asked for is shown and offered.  Anything else leaves the error
    // at kBadBody and the form as it was.
    TorrentSummary scan;
    SummarizeTorrent(step.body, step.total, scan);
    if (!IsWholeTorrentFor(scan, step.hash)) return;
    // Whatever the server sent after the torrent's last "e" (a newline, a page footer) is no part
    // of it: neither saved nor counted in its ed2k link.
    const uint32_t length = scan.walk.topEnd;
    if (length < step.total) SummarizeTorrent(step.body, length, scan);
    ShowTorrent(scan, length);
    // A cut through a surrogate pair would leave half a character in the file name.
    const UINT n = WholeUnits(pathBuffer, GetField(IDC_NAME, pathBuffer, kNameCapacity));
    for (UINT i = 0; i < n; ++i)
        if (ForbiddenInFileName(pathBuffer[i])) pathBuffer[i] = L'_';
    if (n > 0)
        std::wcscpy(pathBuffer + n, L".torrent");
    else
        Format(pathBuffer, kPathUnits, L"%08X%08X%08X%08X%08X.torrent", unsigned(sha1.h[0]), unsigned(sha1.h[1]),
               unsigned(sha1.h[2]), unsigned(sha1.h[3]), unsigned(sha1.h[4]));
    step.error = nullptr;
    // A cancel says nothing; a dialog that failed, or had no buffer, saved nothing, like a file
    // not created.
    PathText path;
    const bool chosen = ChooseFile(true, false, path);
    if (chosen ? SaveWhole(path.text, step.body, length) : path.text && CommDlgExtendedError() == 0) return;
    // Told now, before anything else happens: the torrent was found, and only the save failed.
    // Whatever a later attempt meets (a 404, a page, no server) must not read as its reason, and
    // a second save dialog must not come without a word about why the first one saved nothing.
    step.error = kCannotCreate;
    step.told = true;
    ReportError(kCannotCreate);
}

DWORD WINAPI LinkDialog::DownloadTorrentThread(LPVOID param) {
    // The object is read once, here, while its window is known to be up; from now on the worker
    // reaches it only through the window.
    const HWND window = static_cast<LinkDialog*>(param)->window;
    const DownloadServers servers = *downloadServers;
    auto caption = [window](const wchar_t* text) { SetDlgItemTextW(window, IDC_DOWNLOAD, text); };

    HINTERNET internet = InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    caption(kConnecting);
    const wchar_t* error = kNoServer;
    bool told = false;  // a failed save has been reported already
    bool gone = false;  // the window closed under us: finish without a word

    if (internet) {
        BOOL decoding = TRUE;
        InternetSetOptionW(internet, INTERNET_OPTION_HTTP_DECODING, &decoding, sizeof decoding);
        // A server that goes silent before it answers leaves no request handle; one that goes
        // silent in the middle of the body leaves a body cut short.
        SetSilence(internet, servers.silenceMs);
        InternetSetStatusCallbackW(internet, OnInternetStatus);

        for (int attempt = 0; attempt < 2 && error && !gone; ++attempt) {
            DownloadStep take = {};
            take.kind = DownloadStep::kTakeHash;
            if (!Hand(window, take)) {
                gone = true;
                break;
            }
            // The text the user typed meanwhile holds no hash: nothing is asked for it.
            if (!take.shown) {
                if (attempt == 0) error = kNoHash;
                break;
            }
            const uint32_t* h = take.hash;
            wchar_t base[300], url[400], headers[400];
            if (attempt == 0) {
                Format(base, L"http://%s/%02X/%02X", servers.primaryHost, unsigned(h[0] >> 24),
                              unsigned(h[4] & 0xFF));
                Format(headers, L"Referer: %s\r\n", base);
            } else {
                Format(base, L"https://%s/torrent", servers.backupHost);
                Format(headers, L"Referer: %s\r\nAccept-Encoding: gzip, deflate\r\n", base);
                wchar_t text[32];
                Format(text, kConnectingBackup, 1);
                caption(text);
            }
            Format(url, L"%s/%08X%08X%08X%08X%08X.torrent", base, unsigned(h[0]), unsigned(h[1]),
                          unsigned(h[2]), unsigned(h[3]), unsigned(h[4]));

            // -1: the headers are terminated.  A length of 0 is taken as "no headers" by some
            // WinINet implementations, and the request then goes out without its Referer.
            // The context is what the status callback needs; WinINet calls back only for one not 0.
            HINTERNET request = InternetOpenUrlW(internet, url, headers, DWORD(-1), kRequestFlags, servers.silenceMs);
            if (!request) continue;  // this server changes nothing
            caption(kPreparing);
            error = kNotFound;

            DWORD status = 0, size = sizeof status;
            if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
                status = 400;
            if (status != 200) {
                InternetCloseHandle(request);
                continue;
            }
            DWORD announced = 0;
            size = sizeof announced;
            if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced, &size,
                                nullptr))
                announced = 0;
            error = kBadBody;
            caption(kDownloading);

            // A buffer that can't be had is a body that can't be read: the error stays kBadBody.
            uint8_t* buffer = static_cast<uint8_t*>(std::malloc(kReceiveBuffer));
            DWORD got = 0;
            if (buffer && InternetReadFile(request, buffer, kPiece, &got)) {
                DWORD total = 0;
                int shown = -1;  // the percentage in the caption
                while (got > 0) {
                    total += got;
                    // Unsigned, so a server that announces too little shows more than 100.
                    const int percent = announced != 0 ? int(total * 100u / announced) : -1;
                    // Written only when it changes: each write waits for the UI thread, and a body
                    // of 5 MiB comes in 10,240 pieces.
                    if (percent != shown) {
                        wchar_t text[16];
                        Format(text, L"%d%%", percent);
                        caption(text);
                        shown = percent;
                    }
                    const DWORD room = kReceiveBuffer - total;
                    if (!InternetReadFile(request, buffer + total, room < kPiece ? room : kPiece, &got)) break;
                }
                if (total != 0 && (announced == 0 || announced == total)) {
                    DownloadStep offer = {};
                    offer.kind = DownloadStep::kOffer;
                    std::memcpy(offer.hash, h, sizeof offer.hash);
                    offer.body = buffer;
                    offer.total = total;
                    offer.error = kBadBody;
                    if (Hand(window, offer)) {
                        error = offer.error;
                        told = told || offer.told;
                    } else {
                        gone = true;
                    }
                }
            }
            std::free(buffer);
            InternetCloseHandle(request);
        }
        InternetCloseHandle(internet);
    }

    // After a failed save the user already knows what went wrong; what the backup then met says
    // nothing more about this torrent.
    if (error && !told && !gone) {
        DownloadStep report = {};
        report.kind = DownloadStep::kReport;
        report.error = error;
        Hand(window, report);
    }
    caption(kIdle);
    EnableWindow(GetDlgItem(window, IDC_DOWNLOAD), TRUE);
    return 0;
}
