// ed2k links in the live form: the text itself, files hashed from disk, and Browse through
// the real open dialog; plus the three file dialog modes that other commands rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/UiStep.h"
#include "support/FileDialogDriver.h"
#include "support/LiveDialog.h"

namespace {

const std::wstring kOpenAnyTitle = L"\x6253\x5F00\x6587\x4EF6\x8BA1\x7B97\x7535\x9A74\x5730\x5740";
const std::wstring kOpenTorrentTitle = L"\x6253\x5F00" L"BT\x79CD\x5B50\x6587\x4EF6";
const std::wstring kSaveTitle = L"\x4FDD\x5B58" L"BT\x79CD\x5B50\x6587\x4EF6";
const std::wstring kChineseName = L"\x6211\x7684 \x6587\x4EF6.txt";  // 我的 文件.txt
const std::wstring kChineseLinkName = L"\x6211\x7684_\x6587\x4EF6.txt";
const wchar_t kEmptyMd4[] = L"31D6CFE0D16AE931B73C59D7E0C089C0";

// A fresh directory of our own under the temp folder, removed with what it holds.
class TempDir {
public:
    TempDir() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + L"velquor_ed2k_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempDir() {
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
            while (FindNextFileW(find, &found));
            FindClose(find);
        }
        RemoveDirectoryW(path_.c_str());
    }
    std::wstring File(const std::wstring& name, const std::string& content) const {
        std::wstring full = path_ + L"\\" + name;
        HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << Narrow(full);
        DWORD written = 0;
        if (!content.empty()) WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
        CloseHandle(file);
        return full;
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

std::wstring Link(const std::wstring& name, const std::wstring& size, const std::wstring& digest) {
    return L"ed2k://|file|" + name + L"|" + size + L"|" + digest + L"|/";
}

const std::wstring kProgress = L"\x6B63\x5728\x8BA1\x7B97\x7535\x9A74\x5730\x5740... ";  // 正在计算电驴地址...
constexpr DWORD kHashMs = 120000;  // a ceiling for a multi-GiB hash on a loaded machine
constexpr long long kFilmSize = 40LL << 30;  // a hash of minutes, stopped long before its end

std::wstring Hashed(LiveDialog& live, const std::wstring& path) {
    live.Run([&] { live.object().HashFileForEd2k(path.c_str()); });
    EXPECT_TRUE(live.HashEnded(kHashMs)) << "the hash never ended";
    return live.Text(IDC_ED2K_LINK);
}

// Browse as the user does it: the button, the real open dialog, the path typed, OK.
void Browse(LiveDialog& live, const std::wstring& path) {
    live.PostClick(IDC_BROWSE);
    FileDialogDriver dialog(kOpenAnyTitle);
    ASSERT_TRUE(dialog.found()) << "no open dialog titled " << Narrow(kOpenAnyTitle);
    ASSERT_TRUE(dialog.Accept(path)) << dialog.Describe();
}

// The n of a text "正在计算电驴地址... n% (Esc 取消)", else -1.
int Percent(const FieldLog::Entry& e) {
    if (e.read || e.text.compare(0, kProgress.size(), kProgress)) return -1;
    const int n = _wtoi(e.text.c_str() + kProgress.size());
    return e.text == kProgress + std::to_wstring(n) + L"% (Esc \x53D6\x6D88)" ? n : -1;
}
// Whether a progress text, in whatever form, has been written.
bool ShowsProgress(FieldLog& log) {
    for (const FieldLog::Entry& e : log.Entries())
        if (!e.read && !e.text.compare(0, kProgress.size(), kProgress)) return true;
    return false;
}

TEST(Ed2kLinkText, EscapesSeparatorsKeepsOtherText) {
    LiveDialog live;
    const uint32_t digest[4] = {0x01234567, 0x89ABCDEF, 0x0000000A, 0xFFFFFFFF};
    live.Run([&] { live.object().WriteEd2kLink(L"a b\tc/d\\e|f:g_\x6587.h", 0xFFFFFFFFFFFFFFFFull, digest); });
    EXPECT_EQ(live.Text(IDC_ED2K_LINK),
              Link(L"a_b_c_d_e_f_g_\x6587.h", L"18446744073709551615", L"0123456789ABCDEF0000000AFFFFFFFF"));
}

// The longest name a caller makes fits whole; anything longer is cut, never overruns.
TEST(Ed2kLinkText, LongNames) {
    LiveDialog live;
    const uint32_t digest[4] = {};
    const std::wstring longest(267, L'x');
    live.Run([&] { live.object().WriteEd2kLink(longest.c_str(), 1, digest); });
    EXPECT_EQ(live.Text(IDC_ED2K_LINK), Link(longest, L"1", std::wstring(32, L'0')));
    const std::wstring tooLong(1000, L'y');
    live.Run([&] { live.object().WriteEd2kLink(tooLong.c_str(), 1, digest); });
    EXPECT_EQ(live.Text(IDC_ED2K_LINK), Link(std::wstring(267, L'y'), L"1", std::wstring(32, L'0')));
}

TEST(Ed2kFiles, NamesAndContents) {
    TempDir dir;
    LiveDialog live;
    EXPECT_EQ(Hashed(live, dir.File(L"my file.txt", "abc")),
              Link(L"my_file.txt", L"3", L"A448017AAF21D8525FC10AE87AA6729D"));
    EXPECT_EQ(Narrow(Hashed(live, dir.File(kChineseName, "message digest"))),
              Narrow(Link(kChineseLinkName, L"14", L"D9130A8164549FE818874806E1C7014B")));
    EXPECT_EQ(Hashed(live, dir.File(L"empty", "")), Link(L"empty", L"0", kEmptyMd4));
    // Forward slashes separate the name too.
    EXPECT_EQ(Hashed(live, dir.path() + L"/empty"), Link(L"empty", L"0", kEmptyMd4));
}

const std::wstring kCannotRead = L"\x65E0\x6CD5\x8BFB\x53D6\x6587\x4EF6!";  // 无法读取文件!
const std::wstring kChanged = L"\x6587\x4EF6\x5728\x8BA1\x7B97\x8FC7\x7A0B\x4E2D\x88AB\x4FEE\x6539!";  // 文件在计算过程中被修改!

// A file that gives no link says so once, and the field shows no other file's link meanwhile.
TEST(Ed2kFiles, UnreadableFileSaysSoAndEmptiesTheField) {
    TempDir dir;
    LiveDialog live;
    MessageBoxWatch boxes(live, [](HWND box) { return WindowText(box) != kOpenAnyTitle; });
    const std::wstring locked = dir.File(L"locked", "x");
    const std::wstring lockedLink = Link(L"locked", L"1", L"51B834B7C1EF0B59EA50888FCB39ACE2");
    auto expectNoLink = [&](const std::string& what, const std::function<void()>& hash) {
        live.SetText(IDC_ED2K_LINK, lockedLink);
        boxes.Clear();
        hash();
        EXPECT_TRUE(boxes.WaitFor(1)) << what;
        EXPECT_TRUE(live.HashEnded()) << what;
        EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kCannotRead}) << what;
        EXPECT_EQ(live.Text(IDC_ED2K_LINK), L"") << what;
    };
    expectNoLink("a missing file", [&] { Hashed(live, dir.path() + L"\\no such file"); });
    expectNoLink("a directory", [&] { Hashed(live, dir.path()); });
    // Linux's /proc/self/mem opens, but its first page is never mapped, so the first read fails.
    // (Wine's open dialog refuses the path, so Browse can't give it.)
    expectNoLink("a file that can't be read", [&] { Hashed(live, L"Z:\\proc\\self\\mem"); });
    // The hash fails while the user's own open dialog is up: its message waits for that to close.
    expectNoLink("after the user's open dialog", [&] {
        live.PostClick(IDC_BROWSE);
        FileDialogDriver open(kOpenAnyTitle);
        ASSERT_TRUE(open.found());
        live.Run([&] { live.object().HashFileForEd2k(L"Z:\\proc\\self\\mem"); });
        EXPECT_FALSE(boxes.WaitFor(1, 1000)) << "a message box opened over the user's open dialog";
        EXPECT_TRUE(open.Cancel());
    });
    // A video being recorded, a virtual machine's disk: open elsewhere with no sharing at all.
    HANDLE hold = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    expectNoLink("a file held without sharing", [&] { Hashed(live, locked); });
    expectNoLink("the same through Browse", [&] { Browse(live, locked); });
    CloseHandle(hold);
    // A downloader's file: open for writing and deleting (to rename it when done), sharing all.
    hold = CreateFileW(locked.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    boxes.Clear();
    EXPECT_EQ(Hashed(live, locked), lockedLink) << "a file a writer shares for reading";
    CloseHandle(hold);
    EXPECT_EQ(Hashed(live, locked), lockedLink) << "once released";
    EXPECT_TRUE(boxes.Texts().empty());
}

// A download still running, or a client writing pieces into a file it made at full size: a file
// that changes once its hash is under way gets no link, only the message.
TEST(Ed2kFiles, FileChangedWhileHashedGetsNoLink) {
    TempDir dir;
    const std::wstring path = dir.path() + L"\\growing.bin";
    LiveDialog live;
    MessageBoxWatch boxes(live, [](HWND box) { return WindowText(box) != kOpenAnyTitle; });
    const std::string mebibyte(1 << 20, 'x');
    struct Row {
        const char* what;
        LONGLONG at;  // where the MiB is written, -1 at the end
    };
    for (const Row& row : {Row{"a MiB appended", -1}, Row{"the first MiB rewritten", 0}}) {
        ASSERT_TRUE(SparseFile(path, 5000000000LL));
        live.SetText(IDC_ED2K_LINK, L"old");
        boxes.Clear();
        FieldLog log(live, IDC_ED2K_LINK);
        Browse(live, path);
        ASSERT_TRUE(WaitUntil([&] { return ShowsProgress(log); }, kHashMs)) << row.what << ": no progress";
        HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(writer, INVALID_HANDLE_VALUE) << row.what;
        LARGE_INTEGER at;
        at.QuadPart = row.at < 0 ? 0 : row.at;
        SetFilePointerEx(writer, at, nullptr, row.at < 0 ? FILE_END : FILE_BEGIN);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(writer, mebibyte.data(), DWORD(mebibyte.size()), &written, nullptr)) << row.what;
        CloseHandle(writer);
        EXPECT_TRUE(live.object().Hashing()) << row.what << ": the hash ended before the change, no test of it";
        EXPECT_TRUE(boxes.WaitFor(1, kHashMs)) << row.what;
        EXPECT_TRUE(live.HashEnded()) << row.what;
        EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kChanged}) << row.what;
        EXPECT_EQ(live.Text(IDC_ED2K_LINK), L"") << row.what;
        DeleteFileW(path.c_str());
    }
    // The same size left alone gets its link, as ever, and no message: SparseFileBeyond4GiBShowsProgress.
}

// 5,000,000,000 bytes of zeros through Browse, sparse so the disk stays empty; digest from rhash
// --ed2k over a file of the same size.  The size needs all 64 bits and the read loop ~4800 reads.
// The hash takes seconds, and the field counts up meanwhile.
TEST(Ed2kFiles, SparseFileBeyond4GiBShowsProgress) {
    TempDir dir;
    const std::wstring path = dir.path() + L"\\big.bin";
    ASSERT_TRUE(SparseFile(path, 5000000000LL));
    const std::wstring link = Link(L"big.bin", L"5000000000", L"C31BE58AEC5FF63340B50A31B88106D4");

    LiveDialog live;
    MessageBoxWatch boxes(live, [](HWND box) { return WindowText(box) != kOpenAnyTitle; });
    live.SetText(IDC_ED2K_LINK, L"old");
    FieldLog log(live, IDC_ED2K_LINK);
    const DWORD start = GetTickCount();
    Browse(live, path);
    ASSERT_TRUE(WaitUntil([&] { return log.Written(link) >= 0; }, kHashMs)) << "no link after " << kHashMs << " ms";
    ASSERT_TRUE(live.HashEnded());
    EXPECT_EQ(live.Text(IDC_ED2K_LINK), link);
    EXPECT_TRUE(boxes.Texts().empty()) << "a file left alone read as changed or unreadable";

    const int end = log.Written(link);
    const std::vector<FieldLog::Entry> entries = log.Entries();
    std::vector<int> shown;  // the progress texts, by index
    for (int i = 0; i < end; ++i) {
        if (entries[i].read) continue;
        EXPECT_GE(Percent(entries[i]), 0) << "not progress: " << Narrow(entries[i].text);
        shown.push_back(i);
    }
    ASSERT_GE(shown.size(), 2u) << "a hash of seconds shows its progress";
    const FieldLog::Entry& first = entries[shown.front()];
    EXPECT_GE(first.at - start, 500u) << "no progress in the first half second";
    for (size_t k = 1; k < shown.size(); ++k) {
        const FieldLog::Entry &before = entries[shown[k - 1]], &now = entries[shown[k]];
        EXPECT_GE(Percent(now), Percent(before)) << "progress goes back";
        EXPECT_LE(Percent(now), 100);
        EXPECT_GE(now.at - before.at, 200u) << "more than a few times a second";
    }
    EXPECT_GT(Percent(entries[shown.back()]), Percent(first));
    // Read once, just before the first progress, to be put back should the hash stop.
    for (int i = 0; i < end; ++i) {
        if (entries[i].read) {
            EXPECT_EQ(i + 1, shown.front()) << "the field read other than before the progress";
        }
    }
}

// A film of tens of GiB takes minutes: all the while the window answers at once, works as usual
// and says it works in the background, and Esc stops the hash and brings the old link back.
TEST(Ed2kFiles, LongHashLeavesTheWindowLive) {
    TempDir dir;
    const std::wstring path = dir.path() + L"\\film.mkv";
    ASSERT_TRUE(SparseFile(path, kFilmSize));
    LiveDialog live;
    live.SetText(IDC_ED2K_LINK, L"old");
    FieldLog log(live, IDC_ED2K_LINK);
    Browse(live, path);
    ASSERT_TRUE(WaitUntil([&] { return ShowsProgress(log); }, kHashMs)) << "no progress";

    DWORD_PTR ignored;
    ASSERT_TRUE(SendMessageTimeoutW(live.hwnd(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored))
        << "the window did not answer within a second";
    HCURSOR cursor = nullptr;
    live.Run([&] {
        SendMessageW(live.hwnd(), WM_SETCURSOR, reinterpret_cast<WPARAM>(live.hwnd()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        cursor = GetCursor();
    });
    EXPECT_EQ(cursor, LoadCursorW(nullptr, IDC_APPSTARTING));
    live.SetText(IDC_LONG_LINK, L"magnet:?xt=urn:btih:a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(live.Text(IDC_SHORT_LINK), L"magnet:?xt=urn:btih:VGMT4NSHA2AWVOR6EVYXQUGCNSONBWE5");
    EXPECT_TRUE(live.object().Hashing()) << "the hash ended before Esc: no test of it";

    // Esc as the key comes: the dialog's loop makes it IDCANCEL.
    PostMessageW(live.item(IDC_LONG_LINK), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(live.HashEnded());
    EXPECT_EQ(live.Text(IDC_ED2K_LINK), L"old");
    Sleep(1000);  // long enough for four more progress texts, had the hash gone on
    EXPECT_EQ(live.Text(IDC_ED2K_LINK), L"old");
    EXPECT_FALSE(live.Ended(0)) << "Esc closed the window";
}

// A file that fails part-way, after the progress has shown: the message, and no link at all.
// It comes from tests/servers/failing_fs.py, a FUSE file system mounted around this program.
TEST(Ed2kFiles, ReadFailingPartWaySaysSo) {
    const char* broken = std::getenv("VELQUOR_FAILING_FILE");
    if (!broken) {
        GTEST_SKIP() << "no FUSE file that fails part-way (see tests/servers/failing_fs.py)";
    }
    const std::wstring path(broken, broken + std::strlen(broken));
    LiveDialog live;
    MessageBoxWatch boxes(live);
    live.SetText(IDC_ED2K_LINK, L"as before");
    FieldLog log(live, IDC_ED2K_LINK);
    EXPECT_EQ(Hashed(live, path), L"");
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kCannotRead});
    std::vector<FieldLog::Entry> entries = log.Entries();
    entries.pop_back();  // Hashed's own read of the field
    ASSERT_GE(entries.size(), 3u) << "read, progress, emptied";
    EXPECT_TRUE(entries[0].read);
    EXPECT_GE(Percent(entries[1]), 0) << Narrow(entries[1].text);
    EXPECT_LE(Percent(entries[entries.size() - 2]), 75) << "the file fails at 6 of its 8 MiB";
    EXPECT_EQ(entries.back().text, L"");
}

// Hash workers hand their steps to a window of the test's own on this thread, which takes them as
// the UI thread takes its own, but only when the test pumps: until then its queue only fills.
class StepTaker {
public:
    static constexpr UINT kMessage = WM_APP + 2;
    StepTaker() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VelquorTestStepTaker";
        RegisterClassW(&wc);  // fails harmlessly the second time
        window_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        EXPECT_NE(window_, nullptr);
    }
    // A worker still waiting when the window goes ends as for a closed window.
    ~StepTaker() {
        DestroyWindow(window_);
        for (std::thread& worker : workers_) worker.join();
    }
    HWND hwnd() const { return window_; }
    // A worker that hands over one step, as the hash worker does.
    void Hand() {
        workers_.emplace_back([this] {
            UiStep step = {};
            if (HandOverStep(window_, kName, kMessage, step)) ++handed;
            ++ended;
        });
    }
    // Handles what has arrived until `done` holds, for up to `ms`.
    bool PumpUntil(const std::function<bool()>& done, DWORD ms = kWaitMs) {
        return WaitUntil([&] {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            return done();
        }, ms);
    }
    std::atomic<int> handed{0}, ended{0};
    static int taken;

private:
    static constexpr const wchar_t* kName = L"VelquorHashStep";
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != kMessage) return DefWindowProcW(window, message, wParam, lParam);
        if (UiStep* step = TakeStep(window, kName, lParam)) {
            ++taken;
            FinishStep(*step);
        }
        return 0;
    }
    HWND window_;
    std::vector<std::thread> workers_;
};
int StepTaker::taken = 0;

// A hash that ends just as the next one starts: both workers hand over a step before the UI
// thread gets to either.  Both are taken, and both workers go on.
TEST(HashWorkers, StepsHandedOverAtOnceAreAllTaken) {
    StepTaker::taken = 0;
    StepTaker taker;
    taker.Hand();
    taker.Hand();
    // Neither is taken before both have been posted: both messages are in the queue first.
    std::vector<MSG> posted;
    EXPECT_TRUE(WaitUntil([&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, StepTaker::kMessage, StepTaker::kMessage, PM_REMOVE)) posted.push_back(msg);
        return posted.size() == 2;
    })) << "the workers did not post";
    for (const MSG& msg : posted) DispatchMessageW(&msg);
    EXPECT_TRUE(taker.PumpUntil([&] { return taker.ended == 2; }, 3000)) << "a worker still waits for its step";
    EXPECT_EQ(StepTaker::taken, 2);
    EXPECT_EQ(taker.handed.load(), 2);
}

// The UI thread's queue is full (a flood of messages, a hung moment): the step waits for room
// and is taken once the queue drains; the worker does not end as if the window were gone.
TEST(HashWorkers, StepHandedOverToAFullQueueIsTaken) {
    StepTaker::taken = 0;
    StepTaker taker;
    int posted = 0;
    while (posted < 10001 && PostMessageW(taker.hwnd(), WM_NULL, 0, 0)) ++posted;
    if (posted == 10001) {
        // Windows takes 10,000 posted messages per queue; Wine takes any number.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}
        GTEST_SKIP() << "this system's queue never refused a post: no full queue to hand over to";
    }
    taker.Hand();
    // The worker meets the full queue; the window is still there.
    EXPECT_FALSE(WaitUntil([&] { return taker.ended == 1; }, 500)) << "the worker gave up on a full queue";
    EXPECT_TRUE(taker.PumpUntil([&] { return taker.ended == 1; })) << "the step was never taken";
    EXPECT_EQ(StepTaker::taken, 1);
    EXPECT_EQ(taker.handed.load(), 1);
}

// Browse as the user does it: the button, the real open dialog, a path typed, OK.
TEST(Browse, OpenDialogHashesTheChosenFile) {
    TempDir dir;
    const std::wstring path = dir.File(kChineseName, "abc");
    LiveDialog live;
    live.SetText(IDC_ED2K_LINK, L"old");

    live.PostClick(IDC_BROWSE);
    FileDialogDriver cancelled(kOpenAnyTitle);
    ASSERT_TRUE(cancelled.found()) << "no open dialog titled " << Narrow(kOpenAnyTitle);
    EXPECT_EQ(GetWindow(cancelled.hwnd(), GW_OWNER), live.hwnd());
    ASSERT_TRUE(cancelled.Cancel());
    live.Run([] {});  // the command has returned
    EXPECT_EQ(live.Text(IDC_ED2K_LINK), L"old") << "a cancelled Browse changes nothing";

    const std::wstring expected = Link(kChineseLinkName, L"3", L"A448017AAF21D8525FC10AE87AA6729D");
    {
        FieldLog log(live, IDC_ED2K_LINK);
        Browse(live, path);
        EXPECT_TRUE(WaitUntil([&] { return log.Written(expected) >= 0; })) << Narrow(live.Text(IDC_ED2K_LINK));
        const std::vector<FieldLog::Entry> entries = log.Entries();
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries.size(), 1u) << "a short hash shows no progress, first: " << Narrow(entries.front().text);
    }
    EXPECT_EQ(std::wstring(live.object().pathBuffer), path);

    // The next dialog starts from the path chosen last.
    live.PostClick(IDC_BROWSE);
    FileDialogDriver again(kOpenAnyTitle);
    ASSERT_TRUE(again.found());
    EXPECT_EQ(again.initialName(), kChineseName);
    EXPECT_TRUE(again.Cancel());
    live.Run([] {});
}

// A second Browse during a hash stops the first: only the second file's link shows, and stays.
TEST(Browse, SecondBrowseDuringAHashShowsOnlyItsLink) {
    TempDir dir;
    const std::wstring film = dir.path() + L"\\film.mkv";
    ASSERT_TRUE(SparseFile(film, kFilmSize));
    const std::wstring link = Link(L"small.txt", L"3", L"A448017AAF21D8525FC10AE87AA6729D");
    LiveDialog live;
    FieldLog log(live, IDC_ED2K_LINK);
    Browse(live, film);
    ASSERT_TRUE(WaitUntil([&] { return ShowsProgress(log); }, kHashMs)) << "no progress";
    Browse(live, dir.File(L"small.txt", "abc"));
    EXPECT_TRUE(live.HashEnded());
    Sleep(1000);
    EXPECT_EQ(live.Text(IDC_ED2K_LINK), link);
    const std::vector<std::wstring> texts = log.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), link) << "written after the second file's link";
}

// The windows of a thread that `owner` owns, each answered with OK.
struct Owned {
    HWND owner;
    int answered;
};
BOOL CALLBACK CloseOwnedBy(HWND window, LPARAM param) {
    Owned* owned = reinterpret_cast<Owned*>(param);
    if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == owned->owner) {
        PostMessageW(window, WM_COMMAND, IDOK, 0);
        ++owned->answered;
    }
    return TRUE;
}

// The open dialog of Browse refuses a file that does not exist instead of returning it.
TEST(Browse, MissingFileIsNotAccepted) {
    TempDir dir;
    LiveDialog live;
    live.SetText(IDC_ED2K_LINK, L"old");
    live.PostClick(IDC_BROWSE);
    FileDialogDriver dialog(kOpenAnyTitle);
    ASSERT_TRUE(dialog.found());
    dialog.Accept(dir.path() + L"\\missing.txt", 0);
    // It says why in a window it owns; once that has come (or 1.5 s without one) it has decided.
    Owned complaint = {dialog.hwnd(), 0};
    WaitUntil([&] {
        EnumThreadWindows(live.threadId(), CloseOwnedBy, reinterpret_cast<LPARAM>(&complaint));
        return complaint.answered > 0 || !IsWindow(dialog.hwnd());
    }, 1500);
    EXPECT_TRUE(IsWindow(dialog.hwnd())) << "OFN_FILEMUSTEXIST";
    // Answer whatever complaint is still up, then cancel.
    for (int i = 0; i < 10 && IsWindow(dialog.hwnd()); ++i) {
        EnumThreadWindows(live.threadId(), CloseOwnedBy, reinterpret_cast<LPARAM>(&complaint));
        if (dialog.Cancel(500)) break;
    }
    EXPECT_FALSE(IsWindow(dialog.hwnd()));
    live.Run([] {});
    EXPECT_EQ(live.Text(IDC_ED2K_LINK), L"old");
}

// ChooseFile in a mode other than Browse, run on the UI thread while this thread drives it; the
// path it hands its caller in `chosen`.
BOOL ChooseOnUiThread(LiveDialog& live, bool save, bool anyFile, const std::wstring& title,
                      const std::function<void(FileDialogDriver&)>& drive, std::wstring* chosen = nullptr) {
    BOOL result = -1;
    std::thread ui([&] {
        live.Run([&] {
            PathText path;
            result = live.object().ChooseFile(save, anyFile, path);
            if (chosen) *chosen = result ? path.text : L"";
        });
    });
    FileDialogDriver dialog(title);
    EXPECT_TRUE(dialog.found()) << "no dialog titled " << Narrow(title);
    if (dialog.found()) drive(dialog);
    ui.join();
    return result;
}

TEST(ChooseFile, SaveProposesTheNameAndAddsTheExtension) {
    TempDir dir;
    LiveDialog live;
    live.Run([&] { wcscpy(live.object().pathBuffer, L"0123456789ABCDEF0123456789ABCDEF01234567.torrent"); });
    std::wstring proposed, path;
    BOOL chosen = ChooseOnUiThread(live, true, false, kSaveTitle, [&](FileDialogDriver& d) {
        proposed = d.initialName();
        EXPECT_TRUE(d.Accept(dir.path() + L"\\saved")) << d.Describe();
    }, &path);
    EXPECT_EQ(proposed, L"0123456789ABCDEF0123456789ABCDEF01234567.torrent");
    EXPECT_TRUE(chosen);
    EXPECT_EQ(path, dir.path() + L"\\saved.torrent");
    EXPECT_EQ(std::wstring(live.object().pathBuffer), path) << "where the next dialog starts";

    BOOL cancelled = ChooseOnUiThread(live, true, false, kSaveTitle, [](FileDialogDriver& d) { d.Cancel(); });
    EXPECT_FALSE(cancelled);
}

TEST(ChooseFile, OpenTorrent) {
    TempDir dir;
    const std::wstring path = dir.File(L"a.torrent", "d4:infode");
    LiveDialog live;
    std::wstring got;
    BOOL chosen = ChooseOnUiThread(live, false, false, kOpenTorrentTitle,
                                   [&](FileDialogDriver& d) { EXPECT_TRUE(d.Accept(path)) << d.Describe(); }, &got);
    EXPECT_TRUE(chosen);
    EXPECT_EQ(got, path);
    EXPECT_EQ(std::wstring(live.object().pathBuffer), path);
    BOOL cancelled = ChooseOnUiThread(live, false, false, kOpenTorrentTitle, [](FileDialogDriver& d) { d.Cancel(); });
    EXPECT_FALSE(cancelled);
}

}  // namespace
