// Drives the real release exe through one user session under emulated 32-bit Wine; exit code 0 = pass.
//     smoke32 velquor.exe DIR
// DIR holds the fixture torrents and is shared with the stand-in cache server, whose plan and
// request log live there; the release's own primary host must resolve to that server.
// This is a program of its own, without the test support library, which the i686 build lacks.
#include <windows.h>

#include <dlgs.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win/support/SparseFile.h"

namespace {

// Emulation makes everything slow: the first window takes minutes, a file dialog one or more.
constexpr DWORD kWindowMs = 900000;
constexpr DWORD kStepMs = 600000;
// What follows at once from a step already taken (a file read, a box opened) takes seconds.
constexpr DWORD kFollowMs = 120000;

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
// The same torrent copied deep down, under a path past MAX_PATH, and given on the command line.
const wchar_t kChineseName[] = L"\x7535\x5F71 \x5408\x96C6";  // 电影 合集
const wchar_t kChineseHex[] = L"1C7E647334D84BFC6BA951F1466475816A2AB3E0";
const wchar_t kChineseBase32[] = L"DR7GI4ZU3BF7Y25JKHYUMZDVQFVCVM7A";
const wchar_t kDeepFolder[] = L"\x76EE\x5F55-0123456789-abcdefghijklmnopqrstuvwxyz";  // 目录-..., cut anywhere
const wchar_t kDeepName[] = L"\x957F \x8DEF\x5F84 \x79CD\x5B50.torrent";                           // 长 路径 种子.torrent
const wchar_t kDeepEd2k[] = L"ed2k://|file|\x957F_\x8DEF\x5F84_\x79CD\x5B50.torrent|321|94628AB24A5E4E8CD6238E908A3FC93D|/";
constexpr size_t kDeepLength = 300;
// A file another program holds open without sharing.
const wchar_t kHeldName[] = L"held.bin";
const wchar_t kCannotRead[] = L"\x65E0\x6CD5\x8BFB\x53D6\x6587\x4EF6!";  // 无法读取文件!

const wchar_t kOpenTorrentTitle[] = L"\x6253\x5F00" L"BT\x79CD\x5B50\x6587\x4EF6";                      // 打开BT种子文件
const wchar_t kOpenAnyTitle[] = L"\x6253\x5F00\x6587\x4EF6\x8BA1\x7B97\x7535\x9A74\x5730\x5740";  // 打开文件计算电驴地址
const wchar_t kSaveTitle[] = L"\x4FDD\x5B58" L"BT\x79CD\x5B50\x6587\x4EF6";                             // 保存BT种子文件
const wchar_t kIdleCaption[] = L"\x4E0B\x8F7D\x79CD\x5B50\x6587\x4EF6";                                // 下载种子文件

// A file the release takes far longer to hash than the session needs to try the window during
// the hash: zeros, sparse, so that the disk stays empty.  The ed2k field counts up meanwhile.
const wchar_t kBigName[] = L"big.bin";
constexpr LONGLONG kBigSize = 20LL << 30;
const wchar_t kProgressStart[] = L"\x6B63\x5728\x8BA1\x7B97\x7535\x9A74\x5730\x5740... ";  // 正在计算电驴地址...
const wchar_t kProgressEnd[] = L"% (Esc \x53D6\x6D88)";                                              // % (Esc 取消)
// What a window that is not hung answers within, emulated or not.
constexpr DWORD kAnswerMs = 1000;

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
    std::wstring& all = *reinterpret_cast<std::wstring*>(out);
    const std::wstring text = ClassOf(w) == L"Static" ? TextOf(w) : L"";
    if (!text.empty()) all += (all.empty() ? L"" : L" ") + text;
    return TRUE;
}

// What a message box says: the texts of its statics.
std::wstring StaticsOf(HWND w) {
    std::wstring text;
    EnumChildWindows(w, AppendStatic, reinterpret_cast<LPARAM>(&text));
    return text;
}

// A message box (or any window the session did not ask for) is the exe reporting an error.
void ReportStrayDialog() {
    if (HWND other = FindDialog(L""))
        std::printf("     an unexpected window is open: %s: %s\n", Narrow(TextOf(other)).c_str(),
                    Narrow(StaticsOf(other)).c_str());
}

// The pixels of the screen's rectangle `r`, or, with `icon`, of that icon drawn over `ground` at
// the rectangle's size.
std::vector<DWORD> PixelsOf(const RECT& r, HICON icon, COLORREF ground) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> pixels;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    if (HBITMAP bitmap = w > 0 && h > 0 ? CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        if (icon) {
            HBRUSH brush = CreateSolidBrush(ground);
            const RECT all{0, 0, w, h};
            FillRect(dc, &all, brush);
            DeleteObject(brush);
            DrawIconEx(dc, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL);
        } else {
            BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        }
        GdiFlush();
        pixels.assign(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + w * h);
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Which of the system's four message-box icons the box `box` shows: the nearest, pixel by pixel,
// of what the screen shows in its icon's place, or nullptr where it shows none.  Under Wine an
// icon handle of another process can neither be drawn nor asked for its bits.
const wchar_t* IconOf(HWND box) {
    HWND icon = nullptr;
    for (HWND c = FindWindowExW(box, nullptr, L"Static", nullptr); c; c = FindWindowExW(box, c, L"Static", nullptr))
        if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(c)) icon = c;
    RECT r{};
    if (!icon || !GetWindowRect(icon, &r)) return nullptr;
    const std::vector<DWORD> shown = PixelsOf(r, nullptr, 0);
    if (shown.empty()) return nullptr;
    // Each icon's corner is transparent, so the box's own ground shows there.
    const COLORREF ground = RGB(GetBValue(shown[0]), GetGValue(shown[0]), GetRValue(shown[0]));
    const wchar_t* nearest = nullptr;
    size_t fewest = shown.size() / 4 + 1;  // a picture that far from every icon is none of them
    for (const wchar_t* id : {IDI_ERROR, IDI_WARNING, IDI_INFORMATION, IDI_QUESTION}) {
        const std::vector<DWORD> drawn = PixelsOf(r, LoadIconW(nullptr, id), ground);
        size_t differ = 0;
        for (size_t i = 0; i < shown.size() && i < drawn.size(); ++i) differ += (shown[i] ^ drawn[i]) & 0xFFFFFF ? 1 : 0;
        if (drawn.size() == shown.size() && differ < fewest) fewest = differ, nearest = id;
    }
    return nearest;
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

bool WaitForField(int id, const std::wstring& want, DWORD ms = kStepMs) {
    if (WaitFor(ms, [&] { return Field(id) == want; })) return true;
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

// A read the window must answer within `ms`; false, and `text` untouched, when it did not.
bool TextWithin(HWND w, DWORD ms, std::wstring* text) {
    wchar_t got[1024] = L"";
    DWORD_PTR ignored;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(got), SMTO_ABORTIFHUNG, ms, &ignored))
        return false;
    *text = got;
    return true;
}

// The percentage of "正在计算电驴地址... 37% (Esc 取消)", or -1 for any other text.
int ProgressPercent(const std::wstring& text) {
    const size_t start = wcslen(kProgressStart);
    if (text.compare(0, start, kProgressStart) != 0) return -1;
    size_t i = start;
    int percent = 0;
    for (; i < text.size() && i < start + 3 && text[i] >= L'0' && text[i] <= L'9'; ++i)
        percent = percent * 10 + (text[i] - L'0');
    if (i == start || percent > 100 || text.compare(i, std::wstring::npos, kProgressEnd) != 0) return -1;
    return percent;
}

// As the first step types, but each key bounded in time: a window that can't take it fails here.
bool TypeInto(HWND edit, const wchar_t* text) {
    DWORD_PTR ignored;
    if (!SendMessageTimeoutW(edit, EM_SETSEL, 0, -1, SMTO_ABORTIFHUNG, 10000, &ignored)) return false;
    for (const wchar_t* p = text; *p; ++p)
        if (!SendMessageTimeoutW(edit, WM_CHAR, *p, 1, SMTO_ABORTIFHUNG, 10000, &ignored)) return false;
    return true;
}

// The key itself, to whichever control has the focus, as a user presses it: the dialog's own
// message loop turns it into IDCANCEL.
void PressEscape() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = GetDlgItem(mainWindow, IDC_LONG_LINK);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(mainWindow, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == mainWindow || IsChild(mainWindow, info.hwndFocus)))
        target = info.hwndFocus;
    PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

// Browse to a file of tens of GiB: the hash runs on while the window answers, takes a typed hash,
// and stops at Esc, which gives the ed2k field back what it showed before.
void LongHash(const std::wstring& dir) {
    const std::wstring big = dir + L"\\" + kBigName;
    HWND ed2k = GetDlgItem(mainWindow, IDC_ED2K_LINK);
    const std::wstring before = Field(IDC_ED2K_LINK);
    if (!Check(!before.empty() && SparseFile(big, kBigSize), "a sparse file of 20 GiB")) return;
    if (!Check(ChooseThroughDialog(IDC_BROWSE, kOpenAnyTitle, big), "Browse takes the big file")) {
        DeleteFileW(big.c_str());
        return;
    }

    // Until the progress shows, each read must be answered within a second.  A window that
    // hashes on its own thread answers none of them until the hash has ended, and then shows
    // the link.
    const DWORD chosen = GetTickCount();
    std::wstring shown = before, last;
    DWORD unanswered = 0, quietSince = 0;  // the longest time without an answer, and since when
    bool hung = false;
    WaitFor(kStepMs, [&] {
        const DWORD asked = GetTickCount();
        if (!TextWithin(ed2k, kAnswerMs, &shown)) {
            hung = true;
            if (!quietSince) quietSince = asked;
            return false;
        }
        if (quietSince) unanswered = std::max<DWORD>(unanswered, GetTickCount() - quietSince), quietSince = 0;
        if (shown != last) {
            std::printf("     after %lu ms the ed2k field shows \"%s\"\n", GetTickCount() - chosen,
                        Narrow(shown).c_str());
            last = shown;
        }
        // Progress, or the end: a text that is neither progress nor what the field showed before.
        return ProgressPercent(shown) >= 0 ||
               (shown != before && shown.compare(0, wcslen(kProgressStart), kProgressStart) != 0);
    });
    if (hung) std::printf("     the window answered nothing for %lu ms\n", unanswered);
    const bool running = ProgressPercent(shown) >= 0;
    Check(running, "a long hash shows its progress, with Esc to stop it");

    if (running) {
        // WM_NULL is what the system itself sends to tell a hung window.
        DWORD slowest = 0;
        for (int i = 0; i < 4 && !hung; ++i) {
            DWORD_PTR ignored;
            const DWORD asked = GetTickCount();
            hung = !SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &ignored);
            slowest = std::max<DWORD>(slowest, GetTickCount() - asked);
            Sleep(250);
        }
        std::wstring name;
        hung = hung || !TextWithin(GetDlgItem(mainWindow, IDC_NAME), kAnswerMs, &name);
        std::printf("     WM_NULL answered within %lu ms at the slowest\n", slowest);
        Check(!hung && name == kSingleName,
              "the window answers within 1 s during the hash, and reads its other fields");
    } else {
        Check(!hung, "the window answers within 1 s during the hash");
    }

    if (running) {
        std::wstring progress;
        Check(TypeInto(GetDlgItem(mainWindow, IDC_LONG_LINK),
                       L"magnet:?xt=urn:btih:0123456789abcdef0123456789ABCDEF01234567") &&
                  FieldIs(IDC_LONG_LINK, L"magnet:?xt=urn:btih:0123456789ABCDEF0123456789ABCDEF01234567") &&
                  FieldIs(IDC_SHORT_LINK, L"magnet:?xt=urn:btih:AERUKZ4JVPG66AJDIVTYTK6N54ASGRLH") &&
                  TextWithin(ed2k, kAnswerMs, &progress) && ProgressPercent(progress) >= 0,
              "a hash typed during the hash gives the short link, and the hash goes on");
        if (ProgressPercent(progress) < 0) std::printf("     the ed2k field shows \"%s\"\n", Narrow(progress).c_str());

        const DWORD pressed = GetTickCount();
        PressEscape();
        const bool back = WaitFor(60000, [&] { return TextWithin(ed2k, 5000, &shown) && shown == before; });
        std::printf("     %lu ms from Esc to the old text\n", GetTickCount() - pressed);
        // And it stays: the hash has stopped, and no link arrives afterwards.
        bool stays = back;
        for (int i = 0; i < 12 && stays; ++i) {
            Sleep(250);
            stays = TextWithin(ed2k, 5000, &shown) && shown == before;
        }
        if (!stays) std::printf("     the ed2k field shows \"%s\"\n", Narrow(shown).c_str());
        Check(back && stays, "Esc stops the hash, and the ed2k field shows what it showed before, for good");
    } else {
        std::printf("     (no hash was seen running: nothing to type into or stop)\n");
        Check(false, "a hash typed during the hash gives the short link");
        Check(false, "Esc stops the hash, and the ed2k field shows what it showed before");
    }
    // The release lets the file go once its hash has stopped.
    Check(WaitFor(60000, [&] { return DeleteFileW(big.c_str()) != FALSE; }), "the big file is deleted");
}

// Holds a file open with no sharing at all, as a program that writes it would, until `release`.
struct HeldFile {
    std::wstring path;
    HANDLE opened, release;  // events
    bool held;
};

DWORD WINAPI HoldFile(void* p) {
    HeldFile& hold = *static_cast<HeldFile*>(p);
    HANDLE file = CreateFileW(hold.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    hold.held = file != INVALID_HANDLE_VALUE;
    SetEvent(hold.opened);
    if (hold.held) {
        WaitForSingleObject(hold.release, 3 * kStepMs);
        CloseHandle(file);
    }
    return 0;
}

// Browse to a file that another program holds: one message box with the error icon says it can't
// be read, and the ed2k field shows no link afterwards (none of the file's, nor the one before).
void HeldFileBrowse(const std::wstring& dir) {
    HeldFile hold{dir + L"\\" + kHeldName, CreateEventW(nullptr, TRUE, FALSE, nullptr),
                  CreateEventW(nullptr, TRUE, FALSE, nullptr), false};
    HANDLE thread = nullptr;
    if (CopyFileW((dir + L"\\chinese.torrent").c_str(), hold.path.c_str(), FALSE) &&
        (thread = CreateThread(nullptr, 0, HoldFile, &hold, 0, nullptr)))
        WaitForSingleObject(hold.opened, 30000);
    if (Check(hold.held, "another thread holds a file with no sharing") &&
        Check(ChooseThroughDialog(IDC_BROWSE, kOpenAnyTitle, hold.path), "Browse takes the held file")) {
        HWND box = nullptr;
        WaitFor(kFollowMs, [&] { return (box = FindDialog(L"")) != nullptr; });
        const wchar_t* icon = nullptr;
        if (box) {
            WaitFor(30000, [&] { return (icon = IconOf(box)) == IDI_ERROR; });
            std::printf("     the box says \"%s\", with %s icon\n", Narrow(StaticsOf(box)).c_str(),
                        icon == IDI_ERROR ? "the error" : icon ? "another" : "no");
        } else {
            std::printf("     no message box came up\n");
        }
        Check(box && StaticsOf(box) == kCannotRead && icon == IDI_ERROR,
              "a message box with the error icon says the file can't be read");
        if (box) {
            Click(box, IDOK);
            Check(WaitFor(kFollowMs, [&] { return !IsWindow(box); }) &&
                      !WaitFor(10000, [] { return FindDialog(L"") != nullptr; }),
                  "the box closes, and no other follows");
        }
        ReportStrayDialog();
        Check(FieldIs(IDC_ED2K_LINK, L""), "the ed2k field is empty afterwards");
    }
    SetEvent(hold.release);
    if (thread) {
        WaitForSingleObject(thread, 30000);
        CloseHandle(thread);
    }
    CloseHandle(hold.opened);
    CloseHandle(hold.release);
    DeleteFileW(hold.path.c_str());
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
    lap();

    LongHash(dir);
    ReportStrayDialog();
    lap();

    HeldFileBrowse(dir);
    lap();

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

// Starts the exe from `folder` with `commandLine` (none if empty) and waits for its window.
bool StartRelease(const std::wstring& exe, const std::wstring& folder, std::wstring commandLine,
                  PROCESS_INFORMATION* pi) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), commandLine.empty() ? nullptr : &commandLine[0], nullptr, nullptr, FALSE, 0,
                        nullptr, folder.c_str(), &si, pi)) {
        std::printf("     cannot start the exe (%lu)\n", GetLastError());
        return false;
    }
    pid = pi->dwProcessId;
    const DWORD t0 = GetTickCount();
    if (!WaitFor(kWindowMs, [] { return (mainWindow = FindDialog(nullptr)) != nullptr; })) {
        TerminateProcess(pi->hProcess, 1);
        CloseHandle(pi->hProcess);
        CloseHandle(pi->hThread);
        return false;
    }
    std::printf("     window after %lu ms\n", GetTickCount() - t0);
    return true;
}

// Closes the window as a user does; true if the process then ends with exit code 0.
bool CloseRelease(const PROCESS_INFORMATION& pi) {
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    DWORD code = 12345;
    const bool ended = WaitForSingleObject(pi.hProcess, 300000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(pi.hProcess, 1);
    const bool ok = ended && GetExitCodeProcess(pi.hProcess, &code) && code == 0;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return ok;
}

// Started as Explorer starts the program a torrent is opened with: the torrent's path, past
// MAX_PATH and with spaces and Chinese characters in its name, quoted on the command line.  The
// form fills without a click, and the ed2k field holds the file's own link.
void CommandLineStart(const std::wstring& exe, const std::wstring& folder, const std::wstring& dir) {
    // Folders until the path, with the name, is kDeepLength characters long; the last one is cut to fit.
    std::wstring path = dir;
    bool made = true;
    while (path.size() + 2 + wcslen(kDeepName) < kDeepLength) {
        path += L"\\" + std::wstring(kDeepFolder).substr(0, kDeepLength - path.size() - 2 - wcslen(kDeepName));
        made = made && (CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    path = path + L"\\" + kDeepName;
    made = made && CopyFileW((dir + L"\\chinese.torrent").c_str(), (L"\\\\?\\" + path).c_str(), FALSE);
    std::printf("     a path of %u characters\n", static_cast<unsigned>(path.size()));
    if (!Check(made && path.size() > MAX_PATH, "a copy of a torrent under a path past MAX_PATH")) return;

    PROCESS_INFORMATION pi{};
    if (!Check(StartRelease(exe, folder, L"velquor.exe \"" + path + L"\"", &pi),
               "the release started with the torrent's path shows its window"))
        return;
    Check(WaitForField(IDC_NAME, kChineseName, kFollowMs) && FieldIs(IDC_LONG_LINK, kMagnet + std::wstring(kChineseHex)) &&
              FieldIs(IDC_SHORT_LINK, kMagnet + std::wstring(kChineseBase32)) &&
              WaitForField(IDC_ED2K_LINK, kDeepEd2k, kFollowMs),
          "the torrent on the command line fills the form, and the ed2k field holds the file's own link");
    ReportStrayDialog();
    Check(CloseRelease(pi), "closes with exit code 0");
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
    const DWORD t0 = GetTickCount();
    PROCESS_INFORMATION pi{};
    if (!Check(StartRelease(exe, alone, L"", &pi), "the release, alone in its folder, shows its window")) return 1;

    Session(argv[2]);

    Check(CloseRelease(pi), "closes with exit code 0");
    // Left behind only where the release still held it.
    DeleteFileW((std::wstring(argv[2]) + L"\\" + kBigName).c_str());

    CommandLineStart(exe, alone, argv[2]);
    std::printf("%d passed, %d failed, %lu ms in all\n", checks - failures, failures, GetTickCount() - t0);
    return failures ? 1 : 0;
}
