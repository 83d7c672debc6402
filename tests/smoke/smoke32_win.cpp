// Drives the real release exe through one user session under emulated 32-bit Wine; exit code 0 = pass.
//     smoke32 velquor.exe DIR
// DIR holds the fixture torrents and is shared with the stand-in cache server, whose plan and
// request log live there; the release's own primary host must resolve to that server.
// This is a program of its own, without the test support library, which the i686 build lacks.
#include <windows.h>

#include <dlgs.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "res/resource.h"

namespace {

// Emulation makes everything slow: the first window takes minutes, a file dialog one or more.
constexpr DWORD kWindowMs = 900000;
constexpr DWORD kStepMs = 600000;

// What expected.tsv says of the two torrents the session uses; the primary files a torrent
// under the first and the last byte of its hash.
const wchar_t kMagnet[] = L"magnet:?xt=urn:btih:";
const wchar_t kSingleName[] = L"single-file.bin";
const wchar_t kSingleHex[] = L"5FB7DCD5FEF5988112B8098DA9D4E615C6A796A7";
const wchar_t kSingleBase32[] = L"L635ZVP66WMICEVYBGG2TVHGCXDKPFVH";
const wchar_t kSingleEd2k[] = L"ed2k://|file|single-file.bin.torrent|263|C4EF17DB904ABDEA06654149F6CF212A|/";
const wchar_t kMultiName[] = L"album";
const wchar_t kMultiHex[] = L"2A06F9CB25F45589FCEBB4106632A21D60A994E7";
const wchar_t kMultiBase32[] = L"FIDPTSZF6RKYT7HLWQIGMMVCDVQKTFHH";
const char kMultiRequest[] = "REQUEST http GET /2A/E7/2A06F9CB25F45589FCEBB4106632A21D60A994E7.torrent";
// chinese.torrent copied under a name of our own, hashed as a plain file.
const wchar_t kPlainName[] = L"\x6837\x672C \x6587\x4EF6.bin";  // 样本 文件.bin
const wchar_t kPlainEd2k[] = L"ed2k://|file|\x6837\x672C_\x6587\x4EF6.bin|321|94628AB24A5E4E8CD6238E908A3FC93D|/";

const wchar_t kOpenTorrentTitle[] = L"\x6253\x5F00" L"BT\x79CD\x5B50\x6587\x4EF6";                      // 打开BT种子文件
const wchar_t kOpenAnyTitle[] = L"\x6253\x5F00\x6587\x4EF6\x8BA1\x7B97\x7535\x9A74\x5730\x5740";  // 打开文件计算电驴地址
const wchar_t kSaveTitle[] = L"\x4FDD\x5B58" L"BT\x79CD\x5B50\x6587\x4EF6";                             // 保存BT种子文件
const wchar_t kIdleCaption[] = L"\x4E0B\x8F7D\x79CD\x5B50\x6587\x4EF6";                                // 下载种子文件

int checks = 0;
int failures = 0;

bool Check(bool ok, const char* what) {
    ++checks;
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    std::fflush(stdout);
    if (!ok) ++failures;
    return ok;
}

std::string Narrow(const std::wstring& text) {
    char out[2048];
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, sizeof out, nullptr, nullptr);
    return n ? out : "?";
}

template <typename Done>
bool WaitFor(DWORD ms, Done done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(100);
    }
    return true;
}

DWORD pid;  // the exe's process
HWND mainWindow;

std::wstring ClassOf(HWND w) {
    wchar_t name[64] = L"";
    GetClassNameW(w, name, 64);
    return name;
}

// Cross-process text reads go through messages, which the exe's message loop answers.
std::wstring TextOf(HWND w) {
    wchar_t text[1024] = L"";
    DWORD_PTR ignored;
    SendMessageTimeoutW(w, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 30000, &ignored);
    return text;
}

std::wstring Field(int id) { return TextOf(GetDlgItem(mainWindow, id)); }

struct Search {
    const wchar_t* title;  // nullptr: the main window; L"": any dialog but the main one
    HWND found;
};

BOOL CALLBACK FindTop(HWND w, LPARAM p) {
    Search* s = reinterpret_cast<Search*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner != pid || !IsWindowVisible(w) || ClassOf(w) != L"#32770") return TRUE;
    const bool isMain = GetDlgItem(w, IDC_LONG_LINK) != nullptr;
    if (s->title ? !isMain && (!*s->title || TextOf(w) == s->title) : isMain) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(const wchar_t* title) {
    Search s{title, nullptr};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK AppendStatic(HWND w, LPARAM out) {
    if (ClassOf(w) == L"Static") *reinterpret_cast<std::wstring*>(out) += L" " + TextOf(w);
    return TRUE;
}

// A message box (or any window the session did not ask for) is the exe reporting an error.
void ReportStrayDialog() {
    if (HWND other = FindDialog(L"")) {
        std::wstring text = TextOf(other) + L":";
        EnumChildWindows(other, AppendStatic, reinterpret_cast<LPARAM>(&text));
        std::printf("     an unexpected window is open: %s\n", Narrow(text).c_str());
    }
}

// A click as the button itself reports it: posted where it opens a modal window, which would
// hold a sent message until it closes; sent where the next step reads what the click did.
void Click(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool ClickAndWait(int id) {
    DWORD_PTR ignored;
    return SendMessageTimeoutW(mainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                               reinterpret_cast<LPARAM>(GetDlgItem(mainWindow, id)), SMTO_NORMAL, kStepMs, &ignored) != 0;
}

// Windows puts the name box's edit inside a ComboBox, Wine inside a ComboBox inside a ComboBoxEx32.
HWND EditInside(HWND w) {
    if (!w) return nullptr;
    if (ClassOf(w) == L"Edit") return w;
    for (HWND child = FindWindowExW(w, nullptr, nullptr, nullptr); child; child = FindWindowExW(w, child, nullptr, nullptr))
        if (HWND edit = EditInside(child)) return edit;
    return nullptr;
}

HWND NameBox(HWND dialog) {
    if (HWND edit = EditInside(GetDlgItem(dialog, cmb13))) return edit;
    return EditInside(GetDlgItem(dialog, edt1));
}

// Clicks `button`, waits for the file dialog titled `title`, types `path` and presses OK.
// `proposed`, if given, receives the name the dialog came up with.
bool ChooseThroughDialog(int button, const wchar_t* title, const std::wstring& path, std::wstring* proposed = nullptr) {
    Click(mainWindow, button);
    HWND dialog = nullptr;
    const DWORD start = GetTickCount();
    if (!WaitFor(kStepMs, [&] { return (dialog = FindDialog(title)) && NameBox(dialog); })) {
        ReportStrayDialog();
        return false;
    }
    std::printf("     file dialog after %lu ms\n", GetTickCount() - start);
    if (proposed) {
        WaitFor(30000, [&] { return !TextOf(NameBox(dialog)).empty(); });
        *proposed = TextOf(NameBox(dialog));
    }
    DWORD_PTR ignored;
    SendMessageTimeoutW(NameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_NORMAL, 30000,
                        &ignored);
    Click(dialog, IDOK);
    return WaitFor(kStepMs, [&] { return !IsWindow(dialog); });
}

bool WaitForField(int id, const std::wstring& want) {
    if (WaitFor(kStepMs, [&] { return Field(id) == want; })) return true;
    std::printf("     field %d shows \"%s\"\n", id, Narrow(Field(id)).c_str());
    ReportStrayDialog();
    return false;
}

bool FieldIs(int id, const std::wstring& want) {
    const std::wstring got = Field(id);
    if (got == want) return true;
    std::printf("     field %d shows \"%s\", expected \"%s\"\n", id, Narrow(got).c_str(), Narrow(want).c_str());
    return false;
}

// Another process may hold the clipboard for a moment, so opening it is retried.
bool OpenClipboardSoon() {
    return WaitFor(10000, [] { return OpenClipboard(nullptr) != FALSE; });
}

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboardSoon()) return L"<clipboard busy>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT))
        if (const wchar_t* p = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = p;
            GlobalUnlock(data);
        }
    CloseClipboard();
    return text;
}

bool SetClipboardText(const std::wstring& text) {
    if (!OpenClipboardSoon()) return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    bool ok = false;
    if (memory) {
        std::memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(memory);
        ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!ok) GlobalFree(memory);
    }
    CloseClipboard();
    return ok;
}

std::string ReadWhole(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char chunk[4096];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool WriteWhole(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
    CloseHandle(file);
    return ok;
}

void Session(const std::wstring& dir) {
    DWORD t = GetTickCount();
    auto lap = [&] {
        std::printf("     %lu ms\n", GetTickCount() - t);
        t = GetTickCount();
    };

    wchar_t title[128] = L"";
    GetWindowTextW(mainWindow, title, 128);
    Check(wcsncmp(title, L"Velquor 15.12.29.1052", 21) == 0 && wcsstr(title, L"By Marlov"), "title");

    // Typed one character at a time, as a user would; the field turns canonical at the end.
    HWND edit = GetDlgItem(mainWindow, IDC_LONG_LINK);
    for (const wchar_t* p = L"0123456789abcdef0123456789ABCDEF01234567"; *p; ++p) SendMessageW(edit, WM_CHAR, *p, 1);
    Check(FieldIs(IDC_LONG_LINK, L"magnet:?xt=urn:btih:0123456789ABCDEF0123456789ABCDEF01234567") &&
              FieldIs(IDC_SHORT_LINK, L"magnet:?xt=urn:btih:AERUKZ4JVPG66AJDIVTYTK6N54ASGRLH"),
          "a typed hash gives both links");
    lap();

    Check(ChooseThroughDialog(IDC_OPEN_TORRENT, kOpenTorrentTitle, dir + L"\\single.torrent") &&
              WaitForField(IDC_NAME, kSingleName) && FieldIs(IDC_LONG_LINK, kMagnet + std::wstring(kSingleHex)) &&
              FieldIs(IDC_SHORT_LINK, kMagnet + std::wstring(kSingleBase32)) && FieldIs(IDC_ED2K_LINK, kSingleEd2k),
          "a torrent opened through the dialog fills the form");
    lap();

    const std::wstring plain = dir + L"\\" + kPlainName;
    Check(CopyFileW((dir + L"\\chinese.torrent").c_str(), plain.c_str(), FALSE) &&
              ChooseThroughDialog(IDC_BROWSE, kOpenAnyTitle, plain) && WaitForField(IDC_ED2K_LINK, kPlainEd2k) &&
              FieldIs(IDC_NAME, kSingleName),
          "Browse gives a file's ed2k link and leaves the torrent");
    lap();

    SetClipboardText(L"stale");
    ClickAndWait(IDC_COPY_ED2K);
    const std::wstring copied = ClipboardText();
    if (copied != kPlainEd2k) std::printf("     the clipboard holds \"%s\"\n", Narrow(copied).c_str());
    Check(copied == kPlainEd2k, "copy puts the ed2k link on the clipboard");

    Check(SetClipboardText(kMagnet + std::wstring(kMultiHex) + L"&dn=album") &&
              ClickAndWait(IDC_PASTE_LONG) &&
              FieldIs(IDC_LONG_LINK, kMagnet + std::wstring(kMultiHex)) &&
              FieldIs(IDC_SHORT_LINK, kMagnet + std::wstring(kMultiBase32)),
          "a pasted magnet link is read and rewritten");
    lap();

    // The primary server answers with the torrent for the pasted hash.
    const std::wstring saved = dir + L"\\saved.torrent";
    const std::string expected = ReadWhole(dir + L"\\multi.torrent");
    DeleteFileW(saved.c_str());
    DeleteFileW((dir + L"\\log").c_str());
    WriteWhole(dir + L"\\plan", "http status=200 body=multi.torrent\n");
    std::wstring proposed;
    Check(ChooseThroughDialog(IDC_DOWNLOAD, kSaveTitle, saved, &proposed), "a download offers the save dialog");
    if (proposed != L"album.torrent") std::printf("     proposed \"%s\"\n", Narrow(proposed).c_str());
    Check(proposed == L"album.torrent", "the proposed name is the torrent's");
    Check(WaitForField(IDC_NAME, kMultiName) && WaitForField(IDC_DOWNLOAD, kIdleCaption) &&
              IsWindowEnabled(GetDlgItem(mainWindow, IDC_DOWNLOAD)),
          "the form shows the downloaded torrent, the button is ready again");
    Check(!expected.empty() && ReadWhole(saved) == expected, "the saved file is the server's torrent, byte for byte");
    Check(ReadWhole(dir + L"\\log").find(kMultiRequest) == 0, "the primary server was asked for the pasted hash");
    ReportStrayDialog();
    lap();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: smoke32 path\\to\\velquor.exe DIR\n");
        return 2;
    }
    // Started from a folder that holds nothing else, as a user's download would: a runtime DLL
    // the release needed could be found nowhere but in the system folder.
    const std::wstring alone = std::wstring(argv[2]) + L"\\alone";
    const std::wstring exe = alone + L"\\velquor.exe";
    CreateDirectoryW(alone.c_str(), nullptr);
    if (!CopyFileW(argv[1], exe.c_str(), FALSE)) {
        std::printf("FAIL cannot copy the exe (%lu)\n", GetLastError());
        return 1;
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, alone.c_str(), &si, &pi)) {
        std::printf("FAIL cannot start the exe (%lu)\n", GetLastError());
        return 1;
    }
    pid = pi.dwProcessId;
    const DWORD t0 = GetTickCount();
    const bool up = WaitFor(kWindowMs, [] { return (mainWindow = FindDialog(nullptr)) != nullptr; });
    Check(up, "the release, alone in its folder, shows its window");
    if (!up) {
        TerminateProcess(pi.hProcess, 1);
        return 1;
    }
    std::printf("     window after %lu ms\n", GetTickCount() - t0);

    Session(argv[2]);

    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    DWORD code = 12345;
    const bool ended = WaitForSingleObject(pi.hProcess, 300000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(pi.hProcess, 1);
    Check(ended && GetExitCodeProcess(pi.hProcess, &code) && code == 0, "closes with exit code 0");
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    std::printf("%d passed, %d failed, %lu ms in all\n", checks - failures, failures, GetTickCount() - t0);
    return failures ? 1 : 0;
}
