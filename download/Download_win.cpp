// The download button: a worker thread fetches the .torrent for the current info-hash from the
// primary cache server over HTTP, then the backup over HTTPS, and offers it for saving.
//
// The worker owns only its internet handles, its receive buffer and a copy of the window handle.
// Everything that belongs to LinkDialog (infoHash, the scan that rewrites the form, pathBuffer,
// the save dialog, the file, the message box) is done by the UI thread, inside one synchronous
// kDownloadStepMessage, so the user's own commands can never interleave with it and the order of
// events stays that of a single thread.  Captions and the button's state are plain cross-thread
// window calls.
#include "app/LinkDialog.h"

#include <commdlg.h>
#include <wininet.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "app/Utf16.h"
#include "download/DownloadServers.h"
#include "torrent/TorrentSummary.h"

// Where the two URL forms are served: the primary keeps torrents under the first and last byte
// of the info-hash, the backup under /torrent.
const DownloadServers kCacheServers = {L"bt.box.n0808.com", L"itorrents.org"};
const DownloadServers* downloadServers = &kCacheServers;

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

constexpr DWORD kReceiveBuffer = 0x500000;  // 5 MiB; a longer body is cut here
constexpr DWORD kPiece = 512;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(kRequestFlags == 0x84000100, "the request flags as sent");
constexpr int kNameCapacity = 251;  // 250 units of the name, ".torrent" appended after

// msvcrt's formatter, as everywhere else in the program (the C++ library's would bring a second
// printf into the exe), terminated even where the text is cut.
template <size_t N>
void Format(wchar_t (&out)[N], const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    _vsnwprintf(out, N, format, args);
    va_end(args);
    out[N - 1] = L'\0';
}

// What the worker asks of the UI thread.  `handled` stays false if the window is gone.
struct DownloadStep {
    enum Kind { kTakeHash, kOffer, kReport } kind;
    uint32_t hash[5];        // kTakeHash: out, infoHash as it is now; kOffer: the hash asked for
    const uint8_t* body;     // kOffer: the complete body
    uint32_t total;
    const wchar_t* error;    // kOffer: out, the error the offer leaves; kReport: the text
    bool handled;
    bool deferred;           // kOffer: a file dialog of the user's was open; ask again later
};

// The window property under which the worker announces the step it is about to send.
const wchar_t kStepProperty[] = L"VelquorDownloadStep";
constexpr DWORD kDeferredOfferRetryMs = 50;

// What a file name can't hold on Windows, as the save dialog would refuse it (or, under Wine,
// read a backslash as a folder): each becomes "_".
bool ForbiddenInFileName(wchar_t c) { return c < 0x20 || std::wcschr(L"\\/:*?\"<>|", c) != nullptr; }

// All of `bytes` under `path`, or nothing: a file that was created but not written whole (a full
// disk, a failing drive) is deleted rather than left looking like a torrent.
bool SaveWhole(const wchar_t* path, const uint8_t* bytes, DWORD count) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file, bytes, count, &written, nullptr) && written == count;
    if (CloseHandle(file) && whole) return true;
    DeleteFileW(path);
    return false;
}

}  // namespace

void LinkDialog::StartDownload() {
    EnableDownload(FALSE);
    HANDLE thread = CreateThread(nullptr, 0, DownloadTorrentThread, this, 0, nullptr);
    if (!thread) {
        // Nothing runs that would enable the button again, and a user can simply retry.
        EnableDownload(TRUE);
        return;
    }
    CloseHandle(thread);
}

// Runs on the UI thread, while the worker waits in SendMessageW.  Any process on the desktop
// can post this message with any lParam, so it is acted on only when lParam is the step the
// worker announced, and only once.
void LinkDialog::OnDownloadStep(LPARAM param) {
    if (param == 0 || reinterpret_cast<LPARAM>(GetPropW(window, kStepProperty)) != param) return;
    RemovePropW(window, kStepProperty);
    DownloadStep& step = *reinterpret_cast<DownloadStep*>(param);
    step.handled = true;
    switch (step.kind) {
    case DownloadStep::kTakeHash:
        std::memcpy(step.hash, sha1.h, sizeof step.hash);
        break;
    case DownloadStep::kReport:
        ReportError(step.error);
        break;
    case DownloadStep::kOffer: {
        // Inside the modal loop of the user's Browse or Open torrent dialog: the user's command
        // comes first, on the file the user chose, and the offer after it.
        if (fileDialogDepth > 0) {
            step.deferred = true;
            return;
        }
        // The server is trusted for nothing: a body is judged before it touches the form, and
        // only the whole torrent that was asked for is shown and offered.  Anything else leaves
        // the error at kBadBody and the form as it was.
        TorrentSummary scan;
        SummarizeTorrent(step.body, step.total, scan);
        if (!IsWholeTorrentFor(scan, step.hash)) return;
        ShowTorrent(scan, step.total);
        // A cut through a surrogate pair would leave half a character in the file name.
        const UINT n = WholeUnits(pathBuffer, GetField(IDC_NAME, pathBuffer, kNameCapacity));
        for (UINT i = 0; i < n; ++i)
            if (ForbiddenInFileName(pathBuffer[i])) pathBuffer[i] = L'_';
        if (n > 0)
            std::wcscpy(pathBuffer + n, L".torrent");
        else
            Format(pathBuffer, L"%08X%08X%08X%08X%08X.torrent", unsigned(sha1.h[0]), unsigned(sha1.h[1]),
                   unsigned(sha1.h[2]), unsigned(sha1.h[3]), unsigned(sha1.h[4]));
        step.error = nullptr;
        if (!ChooseFile(true, false)) {
            // A cancel says nothing; a dialog that failed saved nothing, like a file not created.
            if (CommDlgExtendedError() != 0) step.error = kCannotCreate;
            return;
        }
        if (!SaveWhole(pathBuffer, step.body, step.total)) step.error = kCannotCreate;
        break;
    }
    }
}

DWORD WINAPI LinkDialog::DownloadTorrentThread(LPVOID param) {
    // The object is read once, here, while its window is known to be up; from now on the worker
    // reaches it only through the window.
    const HWND window = static_cast<LinkDialog*>(param)->window;
    const DownloadServers servers = *downloadServers;
    auto caption = [window](const wchar_t* text) { SetDlgItemTextW(window, IDC_DOWNLOAD, text); };
    auto send = [window](DownloadStep& step) {
        step.handled = false;
        step.deferred = false;
        // Fails once the window is gone; the step then stays unhandled.
        if (!SetPropW(window, kStepProperty, &step)) return false;
        SendMessageW(window, kDownloadStepMessage, 0, reinterpret_cast<LPARAM>(&step));
        return step.handled;
    };

    HINTERNET internet = InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    caption(kConnecting);
    const wchar_t* error = kNoServer;
    bool gone = false;  // the window closed under us: finish without a word

    if (internet) {
        BOOL decoding = TRUE;
        InternetSetOptionW(internet, INTERNET_OPTION_HTTP_DECODING, &decoding, sizeof decoding);

        for (int attempt = 0; attempt < 2 && error && !gone; ++attempt) {
            DownloadStep take = {DownloadStep::kTakeHash, {}, nullptr, 0, nullptr, false, false};
            if (!send(take)) {
                gone = true;
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
            HINTERNET request = InternetOpenUrlW(internet, url, headers, DWORD(-1), kRequestFlags, 0);
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
                while (got > 0) {
                    total += got;
                    if (announced != 0) {
                        // Unsigned, so a server that announces too little shows more than 100.
                        wchar_t text[16];
                        Format(text, L"%d%%", int(total * 100u / announced));
                        caption(text);
                    }
                    const DWORD room = kReceiveBuffer - total;
                    if (!InternetReadFile(request, buffer + total, room < kPiece ? room : kPiece, &got)) break;
                }
                if (total != 0 && (announced == 0 || announced == total)) {
                    DownloadStep offer = {DownloadStep::kOffer, {}, buffer, total, kBadBody, false, false};
                    std::memcpy(offer.hash, h, sizeof offer.hash);
                    bool sent = send(offer);
                    while (sent && offer.deferred) {
                        Sleep(kDeferredOfferRetryMs);
                        sent = send(offer);
                    }
                    if (sent)
                        error = offer.error;
                    else
                        gone = true;
                }
            }
            std::free(buffer);
            InternetCloseHandle(request);
        }
        InternetCloseHandle(internet);
    }

    if (error && !gone) {
        DownloadStep report = {DownloadStep::kReport, {}, nullptr, 0, error, false, false};
        send(report);
    }
    caption(kIdle);
    EnableWindow(GetDlgItem(window, IDC_DOWNLOAD), TRUE);
    return 0;
}
