// Torrents in the live form: the committed real torrents through loading, the open dialog and
// drops; the loading rules at their edges; names in code page 936; hostile bytes at a guard page.
#include <gtest/gtest.h>

#include <windows.h>
#include <bcrypt.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pure/HexUtil.h"
#include "support/FileDialogDriver.h"
#include "support/Guarded.h"
#include "support/LiveDialog.h"

namespace {

const std::wstring kOpenTorrentTitle = L"\x6253\x5F00" L"BT\x79CD\x5B50\x6587\x4EF6";  // 打开BT种子文件
const std::wstring kTorrentFilterText = L"BT\x79CD\x5B50\x6587\x4EF6";                   // BT种子文件
const std::wstring kAnyFilterText = L"\x6240\x6709\x6587\x4EF6";                         // 所有文件
const std::string kMagnet = "magnet:?xt=urn:btih:";
const std::wstring kCannotRead = L"\x65E0\x6CD5\x8BFB\x53D6\x6587\x4EF6!";                       // 无法读取文件!
const std::wstring kNoTorrent = L"\x4E0D\x662F\x6709\x6548\x7684\x79CD\x5B50\x6587\x4EF6!";  // 不是有效的种子文件!
const std::wstring kTooBig = L"\x79CD\x5B50\x6587\x4EF6\x592A\x5927!";                          // 种子文件太大!
const uint32_t kEd2kChunk = 9728000;
const uint8_t kOther[20] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99,
                            0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x01, 0x23, 0x45, 0x67};

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], n);
    return out;
}

std::wstring Repeat(const std::wstring& unit, int times) {
    std::wstring out;
    for (int i = 0; i < times; ++i) out += unit;
    return out;
}

std::string Repeat(const std::string& unit, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += unit;
    return out;
}

std::string Str(const std::string& bytes) { return std::to_string(bytes.size()) + ":" + bytes; }

// Reference digests from the platform's CNG provider, which shares no code with our engines.
std::string Digest(LPCWSTR algorithm, const std::string& bytes) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char out[32] = {};
    const ULONG size = wcscmp(algorithm, BCRYPT_SHA1_ALGORITHM) == 0 ? 20 : 16;
    bool ok = BCryptOpenAlgorithmProvider(&provider, algorithm, nullptr, 0) == 0 &&
              BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
              BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), ULONG(bytes.size()), 0) == 0 &&
              BCryptFinishHash(hash, out, size, 0) == 0;
    if (hash) BCryptDestroyHash(hash);
    if (provider) BCryptCloseAlgorithmProvider(provider, 0);
    EXPECT_TRUE(ok) << "CNG has no " << Narrow(algorithm);
    return std::string(reinterpret_cast<char*>(out), size);
}

std::string Hex(const std::string& raw) { return HexUpper(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()); }

// ed2k as the eMule network defines it: MD4 per 9,728,000-byte chunk, and from one full chunk
// on, MD4 over all chunk digests including the (possibly empty) last one.
std::string Ed2kReference(const std::string& bytes) {
    if (bytes.size() < kEd2kChunk) return Hex(Digest(BCRYPT_MD4_ALGORITHM, bytes));
    std::string digests;
    for (size_t at = 0;; at += kEd2kChunk) {
        digests += Digest(BCRYPT_MD4_ALGORITHM, bytes.substr(at, kEd2kChunk));
        if (bytes.size() - at < kEd2kChunk) break;
    }
    return Hex(Digest(BCRYPT_MD4_ALGORITHM, digests));
}

std::wstring LinkName(std::wstring name) {
    for (wchar_t& c : name)
        if (wcschr(L" /\\|:\t", c)) c = L'_';
    return name;
}

std::wstring Ed2kLink(const std::wstring& name, uint64_t size, const std::string& digestHex) {
    return L"ed2k://|file|" + LinkName(name) + L"|" + std::to_wstring(size) + L"|" + Wide(digestHex) + L"|/";
}

// The four fields and infoHash.
struct Form {
    std::wstring ed2k, longLink, shortLink, name;
    std::string hash;
};

// What a scan shows for a torrent whose whole bytes are `whole`, with info value `info` and
// the name `name` as shown; the torrent's own link carries the name as read back (259 units),
// less the high half of a surrogate pair that the cut would split.
Form TorrentForm(const std::wstring& name, const std::string& info, const std::string& whole) {
    const std::string sha1 = Digest(BCRYPT_SHA1_ALGORITHM, info);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(sha1.data());
    const size_t cut = name.size() > 259 && IS_HIGH_SURROGATE(name[258]) ? 258 : 259;
    return {Ed2kLink(name.substr(0, cut) + L".torrent", whole.size(), Ed2kReference(whole)),
            Wide(kMagnet + HexUpper(bytes, 20)), Wide(kMagnet + Base32Reference(bytes, 20)), name,
            HexUpper(bytes, 20)};
}

void ExpectForm(const Form& got, const Form& want, const std::string& what) {
    EXPECT_EQ(Narrow(got.name), Narrow(want.name)) << what;
    EXPECT_EQ(Narrow(got.longLink), Narrow(want.longLink)) << what;
    EXPECT_EQ(Narrow(got.shortLink), Narrow(want.shortLink)) << what;
    EXPECT_EQ(Narrow(got.ed2k), Narrow(want.ed2k)) << what;
    EXPECT_EQ(got.hash, want.hash) << what;
}

// On the dialog's thread.
std::wstring FieldNow(HWND window, int id) {
    wchar_t text[1024];
    GetDlgItemTextW(window, id, text, 1024);
    return text;
}

Form FormNow(LinkDialog& d) {
    return {FieldNow(d.window, IDC_ED2K_LINK), FieldNow(d.window, IDC_LONG_LINK), FieldNow(d.window, IDC_SHORT_LINK),
            FieldNow(d.window, IDC_NAME), Words08X(d.sha1.h, 5)};
}

// A form as after an earlier torrent: kOther read from a pasted link, an old name and link.
const wchar_t kOldName[] = L"old name";
const wchar_t kOldEd2k[] = L"ed2k://|file|old|1|00000000000000000000000000000000|/";
Form ShowOldNow(LinkDialog& d) {
    SetDlgItemTextW(d.window, IDC_LONG_LINK, Wide(kMagnet + HexUpper(kOther, 20)).c_str());
    SetDlgItemTextW(d.window, IDC_NAME, kOldName);
    SetDlgItemTextW(d.window, IDC_ED2K_LINK, kOldEd2k);
    return FormNow(d);
}

Form FormOf(LiveDialog& live) {
    Form form;
    live.Run([&] { form = FormNow(live.object()); });
    return form;
}

Form ShowOld(LiveDialog& live) {
    Form form;
    live.Run([&] { form = ShowOldNow(live.object()); });
    EXPECT_EQ(form.hash, HexUpper(kOther, 20));
    return form;
}

// A scan on the dialog's thread, from the old form.
struct Outcome {
    int result;
    Form before, after;
    int32_t busyDepth;  // afterwards
};

bool SameForm(const Form& a, const Form& b) {
    return a.ed2k == b.ed2k && a.longLink == b.longLink && a.shortLink == b.shortLink && a.name == b.name &&
           a.hash == b.hash;
}

// The old form is written only where the form is not already that: under Wine each write of an
// edit field costs a text layout, and the scans that are refused, most of them, change nothing.
Outcome ScanNow(LinkDialog& d, const uint8_t* data, uint32_t length) {
    static const Form old = {kOldEd2k, Wide(kMagnet + HexUpper(kOther, 20)), Wide(kMagnet + Base32Reference(kOther, 20)),
                             kOldName, HexUpper(kOther, 20)};
    Outcome out;
    out.before = FormNow(d);
    if (!SameForm(out.before, old)) out.before = ShowOldNow(d);
    out.result = d.ScanTorrent(data, length);
    out.after = FormNow(d);
    out.busyDepth = d.busyDepth;
    return out;
}

Outcome ScanOnUi(LiveDialog& live, const uint8_t* data, uint32_t length) {
    Outcome out;
    live.Run([&] { out = ScanNow(live.object(), data, length); });
    EXPECT_EQ(out.busyDepth, 0);
    return out;
}

Outcome Scan(LiveDialog& live, const std::string& bytes) {
    return ScanOnUi(live, reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()));
}

// `path` as CreateFileW opens it past MAX_PATH.
std::wstring Openable(const std::wstring& path) { return path.size() < MAX_PATH ? path : L"\\\\?\\" + path; }

// Files of our own, removed with their folders.
class Scratch {
public:
    Scratch() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        dir_ = std::wstring(base) + L"velquor_torrent_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(dir_.c_str(), nullptr);
    }
    ~Scratch() {
        for (const std::wstring& path : made_) DeleteFileW(Openable(path).c_str());
        for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder)
            RemoveDirectoryW(Openable(*folder).c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    // Folders inside ours, named with spaces and Chinese, until the path (relative to ours, as
    // Write takes it) runs to `units` in full: deep folders as an unpacked archive leaves them.
    std::wstring DeepFolder(size_t units) {
        std::wstring relative;
        for (int i = 0; dir_.size() + relative.size() < units; ++i) {
            relative += L"\x6DF1\x5C42 folder " + std::to_wstring(i) + L"\\";  // 深层 folder N
            folders_.push_back(dir_ + relative);
            EXPECT_TRUE(CreateDirectoryW(Openable(folders_.back()).c_str(), nullptr)) << Narrow(folders_.back());
        }
        return relative;
    }
    std::wstring Write(const std::wstring& name, const std::string& bytes, uint64_t sparseSize = 0) {
        const std::wstring path = dir_ + name;
        made_.push_back(path);
        HANDLE file = CreateFileW(Openable(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
        DWORD written = 0;
        if (!bytes.empty()) {
            EXPECT_TRUE(WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
        }
        if (sparseSize) {
            DWORD ignored;
            DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
            LARGE_INTEGER end;
            end.QuadPart = LONGLONG(sparseSize);
            EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
        }
        CloseHandle(file);
        return path;
    }

private:
    std::wstring dir_;
    std::vector<std::wstring> made_, folders_;
};

std::string ReadAll(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], DWORD(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

// The committed torrents and what independent tools said about them (expected.tsv).
struct Fixture {
    std::string file;
    std::wstring path, name;
    uint64_t size;
    std::string hex, base32, ed2k;
    std::string bytes;
    std::string info;  // the raw info value, found by its expected hash
};

std::wstring FixturesDir() {
    wchar_t full[MAX_PATH];
    GetFullPathNameW(Wide(VELQUOR_FIXTURES "/").c_str(), MAX_PATH, full, nullptr);
    return full;
}

const std::vector<Fixture>& Fixtures() {
    static const std::vector<Fixture> all = [] {
        std::vector<Fixture> out;
        const std::string table = ReadAll(FixturesDir() + L"expected.tsv");
        std::istringstream lines(table);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::vector<std::string> cells;
            std::istringstream row(line);
            for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
            if (cells.size() != 6) {
                ADD_FAILURE() << "expected.tsv row: " << line;
                continue;
            }
            Fixture f{cells[0], FixturesDir() + Wide(cells[0]), Wide(cells[2]), std::stoull(cells[1]),
                      cells[3], cells[4], cells[5], {}, {}};
            f.bytes = ReadAll(f.path);
            const size_t start = f.bytes.find("4:info") + 6;
            for (size_t end = start + 1; end <= f.bytes.size() && f.info.empty(); ++end)
                if (Hex(Digest(BCRYPT_SHA1_ALGORITHM, f.bytes.substr(start, end - start))) == f.hex)
                    f.info = f.bytes.substr(start, end - start);
            EXPECT_FALSE(f.info.empty()) << f.file << ": no span with the expected hash";
            out.push_back(f);
        }
        EXPECT_GE(out.size(), 4u) << "expected.tsv lists the committed torrents";
        return out;
    }();
    return all;
}

// What loading a fixture shows; `linkName` is the name its ed2k link carries.
Form FixtureForm(const Fixture& f, const std::wstring& linkName) {
    return {Ed2kLink(linkName, f.size, f.ed2k), Wide(kMagnet + f.hex), Wide(kMagnet + f.base32), f.name, f.hex};
}

Form FixtureForm(const Fixture& f) { return FixtureForm(f, f.name + L".torrent"); }

std::wstring FileNameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

// ---------------------------------------------------------------------------------------------
// Real torrents.

TEST(RealTorrents, LoadTorrentFileShowsNameLinksAndOwnEd2k) {
    LiveDialog live;
    for (const Fixture& f : Fixtures()) {
        ASSERT_EQ(f.bytes.size(), f.size) << f.file;
        ShowOld(live);
        live.Run([&] { live.object().LoadTorrentFile(f.path.c_str()); });
        ExpectForm(FormOf(live), FixtureForm(f), f.file);
    }
}

// The file type list of the open dialog, read through the dialog's own loop.
std::vector<std::wstring> FilterTexts(HWND dialog) {
    std::vector<std::wstring> texts;
    HWND combo = GetDlgItem(dialog, cmb1);
    DWORD_PTR count = 0;
    SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_NORMAL, kWaitMs, &count);
    for (DWORD_PTR i = 0; i < count && i < 16; ++i) {
        wchar_t text[256] = {};
        DWORD_PTR ignored;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kWaitMs, &ignored);
        texts.push_back(text);
    }
    return texts;
}

TEST(RealTorrents, OpenTorrentThroughTheRealOpenDialog) {
    LiveDialog live;
    const Form old = ShowOld(live);
    live.PostClick(IDC_OPEN_TORRENT);
    {
        FileDialogDriver cancelled(kOpenTorrentTitle);
        ASSERT_TRUE(cancelled.found()) << "no open dialog titled " << Narrow(kOpenTorrentTitle);
        EXPECT_EQ(GetWindow(cancelled.hwnd(), GW_OWNER), live.hwnd());
        EXPECT_EQ(FilterTexts(cancelled.hwnd()), (std::vector<std::wstring>{kTorrentFilterText, kAnyFilterText}));
        ASSERT_TRUE(cancelled.Cancel());
    }
    ExpectForm(FormOf(live), old, "a cancelled open changes nothing");

    for (const Fixture& f : Fixtures()) {
        ShowOld(live);
        live.PostClick(IDC_OPEN_TORRENT);
        FileDialogDriver dialog(kOpenTorrentTitle);
        ASSERT_TRUE(dialog.found()) << f.file;
        ASSERT_TRUE(dialog.Accept(f.path)) << dialog.Describe();
        const Form want = FixtureForm(f);
        EXPECT_TRUE(WaitUntil([&] { return live.Text(IDC_ED2K_LINK) == want.ed2k; })) << f.file;
        live.Run([] {});  // the command has returned
        ExpectForm(FormOf(live), want, f.file);
        EXPECT_EQ(std::wstring(live.object().pathBuffer), f.path);
    }
}

// ---------------------------------------------------------------------------------------------
// Drops: a real DROPFILES block in movable global memory, posted as the shell posts it.

HGLOBAL DropBlock(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& p : paths) list += p + L'\0';
    list += L'\0';
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    DROPFILES* drop = static_cast<DROPFILES*>(GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->pt = {40, 40};
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(block);
    return block;
}

const UINT kMarker = RegisterWindowMessageW(L"VelquorTorrentTestMarker");
HANDLE markerSeen = CreateEventW(nullptr, FALSE, FALSE, nullptr);

LRESULT CALLBACK SeeMarker(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == kMarker) SetEvent(markerSeen);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Posts the drop and waits until the dialog's loop takes the next posted message from its
// queue, which it does only after the drop's handling has returned, and then until the first
// file's hash has ended.
bool PostDrop(LiveDialog& live, const std::vector<std::wstring>& paths) {
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, SeeMarker, nullptr, live.threadId());
    EXPECT_TRUE(hook);
    ResetEvent(markerSeen);
    PostMessageW(live.hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropBlock(paths)), 0);
    PostMessageW(live.hwnd(), kMarker, 0, 0);
    const bool handled = WaitForSingleObject(markerSeen, kWaitMs) == WAIT_OBJECT_0;
    UnhookWindowsHookEx(hook);
    return handled && live.HashEnded();
}

// Every dropped file is tried as a torrent; the first is also hashed under its own name, and
// a torrent dropped after it writes its own link over that.
TEST(Drops, ThreeFilesSecondIsATorrent) {
    const Fixture& torrent = Fixtures()[1];
    Scratch dir;
    const std::wstring first = dir.Write(L"read me.txt", "plain text, not bencode");
    const std::wstring second = dir.Write(L"second one.torrent", torrent.bytes);
    const std::wstring third = dir.Write(L"photo.jpg", std::string("\xFF\xD8\xFF\xE0", 4) + "JFIF");
    LiveDialog live;
    ShowOld(live);
    ASSERT_TRUE(PostDrop(live, {first, second, third}));
    ExpectForm(FormOf(live), FixtureForm(torrent), "three files, the second a torrent");
}

// Also from a path past MAX_PATH, which the shell hands over whole.
TEST(Drops, SingleTorrentEndsWithItsOwnFileLink) {
    Scratch dir;
    const std::wstring deep = dir.DeepFolder(300);
    LiveDialog live;
    for (const Fixture& f : Fixtures()) {
        for (const std::wstring& folder : {std::wstring(), deep}) {
            const std::wstring path = dir.Write(folder + L"\x6211\x7684 " + Wide(f.file), f.bytes);  // 我的 <file>
            ShowOld(live);
            ASSERT_TRUE(PostDrop(live, {path}));
            ExpectForm(FormOf(live), FixtureForm(f, FileNameOf(path)), f.file + " at " + std::to_string(path.size()));
        }
    }
}

// A file another program holds with no sharing: one word for it, and no other file's link.
TEST(Drops, HeldFileSaysSoOnce) {
    Scratch dir;
    const std::wstring path = dir.Write(L"held.torrent", Fixtures()[0].bytes);
    HANDLE hold = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    LiveDialog live;
    MessageBoxWatch boxes(live);
    Form want = ShowOld(live);
    ASSERT_TRUE(PostDrop(live, {path}));
    EXPECT_TRUE(boxes.WaitFor(1));
    want.ed2k = L"";
    ExpectForm(FormOf(live), want, "a held file dropped");
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kCannotRead});
    CloseHandle(hold);
}

// Explorer's Open with, Send To, or a file dropped onto the exe's icon: the program is started
// with the file's path, quoted, and shows what a drop of it shows, with no click.
TEST(Drops, FileNamedOnTheCommandLine) {
    const Fixture& f = Fixtures()[0];
    Scratch dir;
    const std::wstring path = dir.Write(dir.DeepFolder(290) + L"\x6211\x7684 \x79CD\x5B50 " + Wide(f.file), f.bytes);
    PROCESS_INFORMATION product = {};
    ASSERT_TRUE(StartProduct(L"\"" + path + L"\"", product));
    const HWND window = WaitForProcessDialog(product.dwProcessId);
    EXPECT_NE(window, nullptr) << "no window from velquor.exe";
    Form want = FixtureForm(f, FileNameOf(path));
    EXPECT_TRUE(WaitUntil([&] { return FieldNow(window, IDC_ED2K_LINK) == want.ed2k; }))
        << Narrow(FieldNow(window, IDC_ED2K_LINK));
    // infoHash can't be read from another process; the links spell it.
    ExpectForm({FieldNow(window, IDC_ED2K_LINK), FieldNow(window, IDC_LONG_LINK), FieldNow(window, IDC_SHORT_LINK),
                FieldNow(window, IDC_NAME), want.hash},
               want, "a path of " + std::to_string(path.size()) + " units");
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(product.hProcess, kWaitMs) != WAIT_OBJECT_0) TerminateProcess(product.hProcess, 99);
    CloseHandle(product.hProcess);
    CloseHandle(product.hThread);
}

TEST(Drops, OnlyPlainFilesGiveTheFirstOnesLink) {
    Scratch dir;
    const std::wstring first = dir.Write(L"a.txt", "abc");
    const std::wstring second = dir.Write(L"b.txt", "message digest");
    LiveDialog live;
    const Form old = ShowOld(live);
    ASSERT_TRUE(PostDrop(live, {first, second}));
    Form want = old;
    want.ed2k = Ed2kLink(L"a.txt", 3, "A448017AAF21D8525FC10AE87AA6729D");
    ExpectForm(FormOf(live), want, "no torrent among the files");
}

// ---------------------------------------------------------------------------------------------
// The loading rules at their edges, through files read by LoadTorrentFile.

// A torrent of exactly `total` bytes: the padding sits in `pieces`, inside info.
std::string TorrentOfSize(const std::string& name, size_t total) {
    const std::string head = "d4:infod4:name" + Str(name) + "6:pieces";
    for (size_t digits = 1; digits < 12; ++digits) {
        const size_t pad = total - head.size() - digits - 3;
        const std::string length = std::to_string(pad) + ":";
        if (pad < total && head.size() + length.size() + pad + 2 == total) {
            std::string bytes = head + length;
            for (size_t i = 0; i < pad; ++i) bytes += char('a' + i % 26);
            return bytes + "ee";
        }
    }
    ADD_FAILURE() << "no torrent of " << total << " bytes";
    return {};
}

std::string InfoOf(const std::string& torrent) { return torrent.substr(7, torrent.size() - 8); }

// What LoadTorrentFile shows from the old form, and its reason when it shows no torrent.
Form Loaded(LiveDialog& live, const std::wstring& path, const std::wstring& why = L"") {
    ShowOld(live);
    const wchar_t* said = nullptr;
    live.Run([&] { said = live.object().LoadTorrentFile(path.c_str()); });
    EXPECT_EQ(Narrow(said ? said : L""), Narrow(why)) << Narrow(path);
    return FormOf(live);
}

TEST(EdgeCases, NameAndNameUtf8TheLaterShows) {
    const std::string zh = "\xE6\x96\xB0\xE5\x90\x8D";  // 新名
    const std::string utf8Last = "d4:infod4:name3:old10:name.utf-8" + Str(zh) + "ee";
    const std::string nameLast = "d4:infod10:name.utf-8" + Str(zh) + "4:name3:oldee";
    LiveDialog live;
    Outcome o = Scan(live, utf8Last);
    EXPECT_EQ(o.result, 1);
    ExpectForm(o.after, TorrentForm(Wide(zh), InfoOf(utf8Last), utf8Last), "name.utf-8 after name");
    o = Scan(live, nameLast);
    EXPECT_EQ(o.result, 1);
    ExpectForm(o.after, TorrentForm(L"old", InfoOf(nameLast), nameLast), "name after name.utf-8");
    // Only the info dictionary's own keys count, and only these two exact ones.
    const std::string others = "d4:infod5:filesld4:name4:deepee4:Name2:NO5:name.2:NOee";
    o = Scan(live, others);
    EXPECT_EQ(o.result, 1);
    ExpectForm(o.after, TorrentForm(L"", InfoOf(others), others), "no name in info");
    const std::string outside = "d4:infod6:lengthi1ee5:otherd4:name1:zee";
    o = Scan(live, outside);
    ExpectForm(o.after, TorrentForm(L"", "d6:lengthi1ee", outside), "a name outside info");
    // The last info close wins; its link is named as the field stood then, and a name met after
    // it, in a later info dictionary that never closes, still ends in the field.
    const std::string twice = "d4:infod4:name1:ae4:infod6:lengthi1eee";
    o = Scan(live, twice);
    ExpectForm(o.after, TorrentForm(L"a", "d6:lengthi1ee", twice), "two info closes");
    const std::string nameAfter = "d4:infod6:lengthi1ee4:infod4:name1:z";
    o = Scan(live, nameAfter);
    Form want = TorrentForm(L"", "d6:lengthi1ee", nameAfter);
    want.name = L"z";
    ExpectForm(o.after, want, "a name after the close");
}

TEST(EdgeCases, NoNameClearsTheFieldAndNamesTheLinkDotTorrent) {
    const std::string bytes = "d8:announce3:url4:infod6:lengthi1e6:pieces3:abcee";
    LiveDialog live;
    const Outcome o = Scan(live, bytes);
    EXPECT_EQ(o.result, 1);
    const Form want = TorrentForm(L"", "d6:lengthi1e6:pieces3:abce", bytes);
    ExpectForm(o.after, want, "no name");
    EXPECT_EQ(Narrow(o.after.ed2k).substr(0, 22), "ed2k://|file|.torrent|");
}

// Cut just before the info value's closing "e", long after the name: the form stays whole, the
// name included, so that it never pairs this torrent's name with another's links.
TEST(EdgeCases, TruncatedInsideInfoChangesNothing) {
    Scratch dir;
    LiveDialog live;
    for (const Fixture& f : Fixtures()) {
        const size_t infoEnd = f.bytes.find(f.info) + f.info.size();
        const std::string cut = f.bytes.substr(0, infoEnd - 1);
        const Outcome o = Scan(live, cut);
        EXPECT_EQ(o.result, 0) << f.file;
        ExpectForm(o.after, o.before, f.file + " cut inside info");
        ExpectForm(Loaded(live, dir.Write(Wide(f.file), cut), kNoTorrent), o.before, f.file + " from a file");
    }
}

TEST(EdgeCases, TenMebibytesIsTheLimit) {
    Scratch dir;
    LiveDialog live;
    const std::string largest = TorrentOfSize("big", 10485759);
    ASSERT_EQ(largest.size(), 10485759u);
    ExpectForm(Loaded(live, dir.Write(L"largest.torrent", largest)), TorrentForm(L"big", InfoOf(largest), largest),
               "10,485,759 bytes are read");

    const std::string tooLarge = TorrentOfSize("big", 10485760);
    ASSERT_EQ(tooLarge.size(), 10485760u);
    const Form old = ShowOld(live);
    ExpectForm(Loaded(live, dir.Write(L"too large.torrent", tooLarge), kTooBig), old, "10,485,760 bytes are not read");
}

// "d", then "4:infode" over and over: an info dictionary closes every 8 bytes.  The largest
// such file loads in one pass through the real open dialog, not in one pass per close.
TEST(EdgeCases, AFileOfNothingButInfoClosesLoadsInOnePass) {
    const std::string closes = (std::string("d") + Repeat(std::string("4:infode"), 1310720)).substr(0, 10485758) + "e";
    ASSERT_EQ(closes.size(), 10485759u);
    Scratch dir;
    const std::wstring path = dir.Write(L"closes.torrent", closes);
    LiveDialog live;
    ShowOld(live);
    live.PostClick(IDC_OPEN_TORRENT);
    FileDialogDriver dialog(kOpenTorrentTitle);
    ASSERT_TRUE(dialog.found());
    ASSERT_TRUE(dialog.Accept(path)) << dialog.Describe();
    const Form want = TorrentForm(L"", "de", closes);
    ASSERT_TRUE(WaitUntil([&] { return live.Text(IDC_ED2K_LINK) == want.ed2k; }, 30000)) << "not loaded in 30 s";
    ExpectForm(FormOf(live), want, "10,485,759 bytes of closes");
}

// Open torrent is the user asking for a torrent: a file that shows none says why, and the form
// stays as it was.
TEST(EdgeCases, OpenTorrentSaysWhyNoTorrentShows) {
    Scratch dir;
    const Fixture& f = Fixtures()[0];
    const std::wstring held = dir.Write(L"held.torrent", f.bytes);
    struct Row {
        const char* what;
        std::wstring path, why;
    } rows[] = {
        {"a text", dir.Write(L"notes.txt", "plain text, not bencode"), kNoTorrent},
        {"a torrent cut short", dir.Write(L"cut.torrent", f.bytes.substr(0, f.bytes.size() / 2)), kNoTorrent},
        {"10 MiB", dir.Write(L"ten.torrent", TorrentOfSize("big", 10485760)), kTooBig},
        {"held with no sharing", held, kCannotRead},
    };
    HANDLE hold = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    LiveDialog live;
    MessageBoxWatch boxes(live, [](HWND box) { return WindowText(box) != kOpenTorrentTitle; });
    for (const Row& row : rows) {
        const Form old = ShowOld(live);
        boxes.Clear();
        live.PostClick(IDC_OPEN_TORRENT);
        FileDialogDriver dialog(kOpenTorrentTitle);
        ASSERT_TRUE(dialog.found()) << row.what;
        ASSERT_TRUE(dialog.Accept(row.path)) << dialog.Describe();
        EXPECT_TRUE(boxes.WaitFor(1)) << row.what;
        live.Run([] {});
        EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{row.why}) << row.what;
        ExpectForm(FormOf(live), old, row.what);
    }
    CloseHandle(hold);
}

TEST(EdgeCases, EmptyAndMissingFilesChangeNothing) {
    Scratch dir;
    LiveDialog live;
    const Form old = ShowOld(live);
    ExpectForm(Loaded(live, dir.Write(L"empty.torrent", ""), kNoTorrent), old, "empty file");
    ExpectForm(Loaded(live, dir.Write(L"missing.torrent", "") + L".gone", kCannotRead), old, "missing file");
    const std::string bytes = "d4:infod4:name1:xee";
    const Outcome o = ScanOnUi(live, reinterpret_cast<const uint8_t*>(bytes.data()), 0);
    EXPECT_EQ(o.result, 0);
    ExpectForm(o.after, o.before, "zero bytes");
}

// A value after `info` that is no dictionary is no torrent: nothing is hashed, nothing changes.
TEST(EdgeCases, InfoAsStringOrIntegerIsNoTorrent) {
    LiveDialog live;
    for (const std::string& bytes : std::vector<std::string>{"d4:infoi42e5:otherd1:ai1eee", "d4:info3:abc5:otherlee",
                                                             "d4:info3:abc4:name1:xd1:ai1eee", "d4:infoi7ee"}) {
        const Outcome o = Scan(live, bytes);
        EXPECT_EQ(o.result, 0) << bytes;
        ExpectForm(o.after, o.before, bytes);
    }
}

// Only the low 32 bits of the size count: 4 GiB + 100 bytes are read as the first 100.
TEST(EdgeCases, SparseFileOf4GiBPlus100IsReadAs100Bytes) {
    Scratch dir;
    const std::string head = TorrentOfSize("sparse", 100);
    ASSERT_EQ(head.size(), 100u);
    const std::wstring path = dir.Write(L"huge.torrent", head, (uint64_t(1) << 32) + 100);
    LiveDialog live;
    ExpectForm(Loaded(live, path), TorrentForm(L"sparse", InfoOf(head), head), "4 GiB + 100");
}

// Names are cut at 260 units; the torrent's own link carries the 259 units read back.
TEST(EdgeCases, LongUtf8NamesAreCutAt260Units) {
    const std::string zh = "\xE4\xB8\xAD";  // 中
    const std::string mixed = "a\xC3\xA9" "\xE4\xB8\xAD";  // aé中
    struct Case {
        std::string name;
        std::wstring shown;
    };
    const Case cases[] = {
        {Repeat(zh, 300), Repeat(L"\x4E2D", 260)},
        {Repeat(zh, 1000), Repeat(L"\x4E2D", 260)},
        {Repeat(std::string("x"), 300), Repeat(L"x", 260)},
        {Repeat(mixed, 100), Repeat(L"a\x00E9\x4E2D", 87).substr(0, 260)},
        {Repeat(zh, 260), Repeat(L"\x4E2D", 260)},
        // U+1F600 as units 259 and 260: shown whole, left out of the 259 units of the link.
        {Repeat(std::string("a"), 258) + "\xF0\x9F\x98\x80" + "tail", Repeat(L"a", 258) + L"\xD83D\xDE00"},
    };
    LiveDialog live;
    for (const Case& c : cases) {
        const std::string bytes = "d4:infod4:name" + Str(c.name) + "ee";
        const Outcome o = Scan(live, bytes);
        EXPECT_EQ(o.result, 1);
        ExpectForm(o.after, TorrentForm(c.shown, InfoOf(bytes), bytes), std::to_string(c.name.size()) + " bytes");
    }
}

// ---------------------------------------------------------------------------------------------
// Names that are not UTF-8 go through the ANSI code page.  This suite runs in its own ctest
// entry under a Chinese locale, where Wine makes that code page 936 (GBK).

class Gbk936 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(GetACP(), 936u) << "these tests need the ANSI code page 936: run them with LANG and LC_ALL set "
                                     "to zh_CN.UTF-8 (the twin_win_torrent_gbk entry does)";
    }
};

const std::string kGbkZhongWenMingZi = "\xD6\xD0\xCE\xC4\xC3\xFB\xD7\xD6";  // 中文名字 in GBK

TEST_F(Gbk936, GbkNameIsShownThroughTheAnsiCodePage) {
    LiveDialog live;
    const std::string bytes = "d4:infod4:name" + Str(kGbkZhongWenMingZi + " v2") + "6:pieces2:abee";
    const Outcome o = Scan(live, bytes);
    EXPECT_EQ(o.result, 1);
    ExpectForm(o.after, TorrentForm(L"\x4E2D\x6587\x540D\x5B57 v2", InfoOf(bytes), bytes), "GBK name");

    // A UTF-8 name is still read as UTF-8, not through code page 936.
    const std::string utf8 = "d4:infod4:name" + Str("\xE4\xB8\xAD\xE6\x96\x87") + "ee";
    ExpectForm(Scan(live, utf8).after, TorrentForm(L"\x4E2D\x6587", InfoOf(utf8), utf8), "UTF-8 under 936");
}

TEST_F(Gbk936, LongGbkNamesAreCutAt260Units) {
    LiveDialog live;
    for (int chars : {300, 1000}) {
        const std::string bytes = "d4:infod4:name" + Str(Repeat(std::string("\xD6\xD0"), chars)) + "ee";
        const Outcome o = Scan(live, bytes);
        EXPECT_EQ(o.result, 1);
        ExpectForm(o.after, TorrentForm(Repeat(L"\x4E2D", 260), InfoOf(bytes), bytes),
                   std::to_string(chars) + " GBK characters");
    }
}

TEST_F(Gbk936, GbkTorrentFromAFile) {
    Scratch dir;
    LiveDialog live;
    const std::string bytes = "d4:infod6:lengthi3e4:name" + Str(kGbkZhongWenMingZi) + "ee";
    ExpectForm(Loaded(live, dir.Write(L"gbk.torrent", bytes)),
               TorrentForm(L"\x4E2D\x6587\x540D\x5B57", InfoOf(bytes), bytes), "GBK name from a file");
}

// ---------------------------------------------------------------------------------------------
// Hostile input, placed flush against a PAGE_NOACCESS page so that any read outside it faults.

// Bytes to scan, and what they are for the messages.
struct Input {
    std::string bytes, label;
};

// Scans each input against the rear guard and against the front one; both placements must agree.
// All in one visit to the dialog's thread: on a busy machine a visit per scan, waiting each time
// for that thread's turn, costs far more than the scans.  The outcomes at the rear guard, in order.
std::vector<Outcome> GuardedScans(LiveDialog& live, const std::vector<Input>& inputs) {
    std::vector<Outcome> placed(2 * inputs.size());
    live.Run([&] {
        for (size_t i = 0; i < inputs.size(); ++i) {
            for (int atEnd = 0; atEnd < 2; ++atEnd) {
                Guarded::label = inputs[i].label + (atEnd ? ", flush with the end" : ", flush with the start");
                Guarded guarded(inputs[i].bytes, atEnd);
                placed[2 * i + atEnd] = ScanNow(live.object(), guarded.data(), guarded.size());
            }
        }
    });
    std::vector<Outcome> outcomes;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const Outcome &front = placed[2 * i], &rear = placed[2 * i + 1];
        const std::string& label = inputs[i].label;
        EXPECT_EQ(front.busyDepth, 0) << label;
        EXPECT_EQ(rear.busyDepth, 0) << label;
        EXPECT_EQ(front.result, rear.result) << label;
        ExpectForm(front.after, rear.after, label + ": both placements");
        outcomes.push_back(rear);
    }
    return outcomes;
}

Outcome GuardedScan(LiveDialog& live, const std::string& bytes, const std::string& label) {
    return GuardedScans(live, {{bytes, label}})[0];
}

// An outcome that leaves the form as it was.
void ExpectRefused(const Outcome& o, const std::string& what) {
    EXPECT_EQ(o.result, 0) << what;
    ExpectForm(o.after, o.before, what);
}

TEST(Hostile, EveryTruncationOfEveryRealTorrent) {
    LiveDialog live;
    for (const Fixture& f : Fixtures()) {
        const size_t infoEnd = f.bytes.find(f.info) + f.info.size();
        std::vector<Input> cuts;
        for (size_t n = 0; n <= f.bytes.size(); ++n) cuts.push_back({f.bytes.substr(0, n), f.file + " cut to " + std::to_string(n)});
        const std::vector<Outcome> outcomes = GuardedScans(live, cuts);
        for (size_t n = 0; n <= f.bytes.size(); ++n) {
            const Outcome& o = outcomes[n];
            const std::string& what = cuts[n].label;
            if (n >= infoEnd) {
                EXPECT_EQ(o.result, 1) << what;
                ExpectForm(o.after, TorrentForm(f.name, f.info, cuts[n].bytes), what);
            } else {
                ExpectRefused(o, what);
            }
        }
    }
}

// Nesting beyond the 127 levels of the kind stack stops the scan; what was shown stays.
TEST(Hostile, DeepNesting) {
    LiveDialog live;
    for (int levels : {126, 127, 128, 129, 10000}) {
        // The top dictionary and info are two levels; the lists make up the rest.
        const std::string nest = std::string(levels - 2, 'l') + std::string(levels - 2, 'e');
        const std::string bytes = "d4:infod4:name4:deep4:nest" + nest + "ee";
        const std::string what = std::to_string(levels) + " levels";
        const Outcome o = GuardedScan(live, bytes, what);
        if (levels <= 127) {
            EXPECT_EQ(o.result, 1) << what;
            ExpectForm(o.after, TorrentForm(L"deep", InfoOf(bytes), bytes), what);
        } else {
            ExpectRefused(o, what);
        }
    }
    // Deep nesting in the top dictionary's other values, after info has closed: the links stay.
    const std::string after = "d4:infod4:name1:xe4:nest" + std::string(10000, 'l') + "e";
    const Outcome o = GuardedScan(live, after, "deep after info");
    EXPECT_EQ(o.result, 1);
    ExpectForm(o.after, TorrentForm(L"x", "d4:name1:xe", after), "deep after info");
    // And the object still works.
    const Fixture& f = Fixtures()[0];
    ExpectForm(GuardedScan(live, f.bytes, "after the deep ones").after, FixtureForm(f), "after the deep ones");
}

// A negative length or one beyond 32 bits stops the scan where it stands.
TEST(Hostile, BadStringLengths) {
    LiveDialog live;
    const std::vector<std::string> lengths = {"-1:", "-0:", "1-:", "4294967296:", "4294967297:", "4294967295:",
                                              "2147483648:", "99999999999:", "18446744073709551617:",
                                              "99999999999999999999999:"};
    std::vector<Input> inputs;
    for (const std::string& length : lengths) {
        // "ee" would close info at once if the length were taken as what it wraps to.
        for (const std::string& tail : {std::string("ee"), std::string("abcee"), std::string("")})
            inputs.push_back({"d4:infod4:name1:x6:pieces" + length + tail, ""});
        // As a key, and as the length of the name itself.
        for (const std::string& bytes : {"d4:infod" + length + "abcee", "d4:infod4:name" + length + "xee"})
            inputs.push_back({bytes, ""});
    }
    for (Input& input : inputs) input.label = input.bytes;
    const std::vector<Outcome> outcomes = GuardedScans(live, inputs);
    for (size_t i = 0; i < inputs.size(); ++i) ExpectRefused(outcomes[i], inputs[i].label);
}

// The 256 byte values in a row, from each starting value, and each value alone.
TEST(Hostile, AllByteValues) {
    LiveDialog live;
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    std::vector<Input> inputs;
    for (int start = 0; start < 256; ++start) {
        inputs.push_back({all.substr(start) + all.substr(0, start), "all 256 values from " + std::to_string(start)});
        inputs.push_back({all.substr(start, 1), "byte " + std::to_string(start)});
    }
    const std::vector<Outcome> outcomes = GuardedScans(live, inputs);
    for (size_t i = 0; i < inputs.size(); ++i) ExpectRefused(outcomes[i], inputs[i].label);
}

// Truncations of the unusual shapes above: lengths and integers cut in their digits, keys cut.
TEST(Hostile, EveryTruncationOfOddShapes) {
    LiveDialog live;
    for (const std::string& bytes : std::vector<std::string>{"d4:infoi42e5:otherd1:ai1eee", "d4:info3:abc5:otherlee",
                                    "d4:infod4:name3:old10:name.utf-86:\xE6\x96\xB0\xE5\x90\x8D" "ee",
                                    "d4:infod6:lengthi-12345678901234e4:name2:nmee", "li1ei2e4:infod4:name1:zee"}) {
        std::vector<Input> cuts;
        for (size_t n = 0; n < bytes.size(); ++n) cuts.push_back({bytes.substr(0, n), bytes + " cut to " + std::to_string(n)});
        const std::vector<Outcome> outcomes = GuardedScans(live, cuts);
        for (size_t n = 0; n < cuts.size(); ++n)
            if (outcomes[n].result == 0) ExpectForm(outcomes[n].after, outcomes[n].before, cuts[n].label);
    }
}

}  // namespace
