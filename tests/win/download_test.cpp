// The download button against real HTTP and HTTPS servers on 127.0.0.1 (tests/servers/): what
// the servers receive, the captions, the save dialog, the file, the message boxes, and the fall
// back from the primary to the backup in every way the servers can fail.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <mutex>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "download/DownloadServers.h"
#include "pure/HexUtil.h"
#include "support/FileDialogDriver.h"
#include "support/LiveDialog.h"

namespace {

// A download's ceiling.  Generous: a body above 5 MiB with its length announced updates the
// caption after each of its 10,240 pieces, which has taken from 20 s to over 100 s here.
constexpr DWORD kDownloadMs = 300000;

const std::wstring kSaveTitle = L"\x4FDD\x5B58" L"BT\x79CD\x5B50\x6587\x4EF6";  // 保存BT种子文件
const std::wstring kOpenTorrentTitle = L"\x6253\x5F00" L"BT\x79CD\x5B50\x6587\x4EF6";  // 打开BT种子文件
const std::wstring kOpenAnyTitle = L"\x6253\x5F00\x6587\x4EF6\x8BA1\x7B97\x7535\x9A74\x5730\x5740";  // 打开文件计算电驴地址
const std::wstring kConnecting = L"\x8FDE\x63A5\x670D\x52A1\x5668\x4E2D...";
const std::wstring kConnectingBackup = L"\x8FDE\x63A5\x5907\x7528\x670D\x52A1\x5668(1)";
const std::wstring kPreparing = L"\x51C6\x5907\x4E0B\x8F7D\x4E2D...";
const std::wstring kDownloading = L"\x4E0B\x8F7D\x4E2D...";
const std::wstring kIdle = L"\x4E0B\x8F7D\x79CD\x5B50\x6587\x4EF6";
const std::wstring kNoServer = L"\x65E0\x6CD5\x8FDE\x63A5" L"BT\x79CD\x5B50\x670D\x52A1\x5668!";
const std::wstring kNotFound = L"\x670D\x52A1\x5668\x4E0A\x6CA1\x6709\x627E\x5230\x79CD\x5B50\x6587\x4EF6!";
const std::wstring kBadBody = L"\x4E0B\x8F7D\x6587\x4EF6\x9519\x8BEF!";
const std::wstring kCannotCreate = L"\x65E0\x6CD5\x521B\x5EFA\x6587\x4EF6!";
const std::wstring kCopyFailed =  // 无法使用剪贴板，复制失败!
    L"\x65E0\x6CD5\x4F7F\x7528\x526A\x8D34\x677F\xFF0C\x590D\x5236\x5931\x8D25!";
const std::wstring kNoHash = L"\x8BF7\x5148\x8F93\x5165\x78C1\x529B\x94FE\x63A5\x6216\x79CD\x5B50\x54C8\x5E0C!";

const char kUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1; Trident/5.0; SLCC2; Media Center PC 6.0)";

// The fixtures the server directory holds (tests/fixtures/expected.tsv).
struct Fixture {
    const char* file;
    const wchar_t* name;
    const char* hex;
    const char* base32;
    const wchar_t* ed2k;  // the link of the torrent file itself
};
const Fixture kSingle = {"single.torrent", L"single-file.bin", "5FB7DCD5FEF5988112B8098DA9D4E615C6A796A7",
                         "L635ZVP66WMICEVYBGG2TVHGCXDKPFVH",
                         L"ed2k://|file|single-file.bin.torrent|263|C4EF17DB904ABDEA06654149F6CF212A|/"};
const Fixture kMulti = {"multi.torrent", L"album", "2A06F9CB25F45589FCEBB4106632A21D60A994E7",
                        "FIDPTSZF6RKYT7HLWQIGMMVCDVQKTFHH",
                        L"ed2k://|file|album.torrent|451|67ADCF1BCA6746EB8770A044B2995654|/"};
const char kRequestedHex[] = "00112233445566778899AABBCCDDEEFF01234567";

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::wstring LongLink(const std::string& hex) { return Wide("magnet:?xt=urn:btih:" + hex); }

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out << bytes;
}

// SHA-1 by the system's own provider, to check hashes our engine did not make.
std::string SystemSha1Hex(const std::string& bytes) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    BYTE digest[20] = {};
    DWORD size = sizeof digest;
    if (CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
        CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
        CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()), 0);
        CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
    }
    if (hash) CryptDestroyHash(hash);
    if (provider) CryptReleaseContext(provider, 0);
    char hex[41];
    for (int i = 0; i < 20; ++i) std::snprintf(hex + 2 * i, 3, "%02X", digest[i]);
    return hex;
}

// A request as the server logged it.
struct Request {
    std::string server, method, path;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string Header(const std::string& name) const {
        for (const auto& h : headers)
            if (_stricmp(h.first.c_str(), name.c_str()) == 0) return h.second;
        return "<none>";
    }
};

// The stand-in servers that tests/servers/with_cache_server.sh started for this run, and their
// test CA, trusted by this prefix's Root store only while the tests run.
class CacheServers {
public:
    static CacheServers& Get() {
        static CacheServers servers;
        return servers;
    }
    bool ok() const { return ok_; }
    const std::wstring& dir() const { return dir_; }
    std::wstring Path(const std::string& name) const { return dir_ + L"\\" + Wide(name); }
    std::wstring Http() const { return L"127.0.0.1:" + std::to_wstring(http_); }
    std::wstring Https() const { return L"127.0.0.1:" + std::to_wstring(https_); }
    std::wstring Refused() const { return L"127.0.0.1:" + std::to_wstring(refused_); }

    // What each server answers from now on, in cache_server.py's words, e.g. "status=404".
    void Plan(const std::string& http, const std::string& https) const {
        WriteFile(Path("plan"), "http " + http + "\nhttps " + https + "\n");
        DeleteFileW(Path("log").c_str());
        for (const char* release : {"release", "r1", "r2"}) DeleteFileW(Path(release).c_str());
    }
    // Lets a body held with "hold=N release=NAME" go on.
    void Release(const std::string& name) const { WriteFile(Path(name), ""); }

    std::vector<Request> Log() const {
        std::vector<Request> requests;
        std::istringstream in(ReadFile(Path("log")));
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("REQUEST ", 0) == 0) {
                Request r;
                std::istringstream words(line.substr(8));
                words >> r.server >> r.method >> r.path;
                requests.push_back(r);
            } else if (!line.empty() && !requests.empty()) {
                size_t colon = line.find(": ");
                requests.back().headers.emplace_back(line.substr(0, colon),
                                                     colon == std::string::npos ? "" : line.substr(colon + 2));
            }
        }
        return requests;
    }

    void Untrust() {
        if (!ca_) return;
        HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
        PCCERT_CONTEXT found = root ? CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, ca_,
                                                                 nullptr)
                                    : nullptr;
        if (found) CertDeleteCertificateFromStore(found);  // frees `found`
        if (root) CertCloseStore(root, 0);
        CertFreeCertificateContext(ca_);
        ca_ = nullptr;
    }

private:
    CacheServers() {
        wchar_t dir[MAX_PATH] = {};
        if (!GetEnvironmentVariableW(L"VELQUOR_CACHE_DIR", dir, MAX_PATH)) return;
        dir_ = dir;
        std::istringstream ports(ReadFile(Path("ports")));
        ports >> http_ >> https_ >> refused_;
        const std::string der = ReadFile(Path("ca.der"));
        HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
        if (root && !der.empty())
            CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                             DWORD(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, &ca_);
        if (root) CertCloseStore(root, 0);
        ok_ = http_ && https_ && refused_ && ca_;
    }
    ~CacheServers() { Untrust(); }

    std::wstring dir_;
    int http_ = 0, https_ = 0, refused_ = 0;
    PCCERT_CONTEXT ca_ = nullptr;
    bool ok_ = false;
};

// The product makes its object in a stack frame that earlier calls have used: the object the
// tests' dialog runs on starts over bytes that are anything but zero.
LinkDialog* OverGarbage(void* memory) {
    std::memset(memory, 0xA5, sizeof(LinkDialog));
    return new (memory) LinkDialog;
}

// Says yes to a prompt that the window `owner` raised.
BOOL CALLBACK AnswerYes(HWND window, LPARAM owner) {
    if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner))
        PostMessageW(window, WM_COMMAND, IDYES, 0);
    return TRUE;
}

class Download : public ::testing::Test {
protected:
    Download() = default;
    // false: the test's first action is its own, on a window where no hash was ever shown.
    explicit Download(bool showRequested) : showRequested_(showRequested) {}

    void SetUp() override {
        ASSERT_TRUE(servers_.ok()) << "the cache servers are not up (VELQUOR_CACHE_DIR)";
        if (showRequested_) live_.SetText(IDC_LONG_LINK, LongLink(kRequestedHex));
        Point(servers_.Http(), servers_.Https());
    }
    void TearDown() override {
        if (IsWindow(live_.hwnd()) && !IsWindowEnabled(live_.item(IDC_DOWNLOAD)))
            WaitUntil([&] { return IsWindowEnabled(live_.item(IDC_DOWNLOAD)) != FALSE; }, kDownloadMs);
        EXPECT_EQ(messages_.OpenedInSentMessage(), 0) << "a window opened inside another thread's SendMessage";
        downloadServers = &kCacheServers;
        for (const std::wstring& file : made_) DeleteFileW(file.c_str());
    }

    void Point(const std::wstring& primary, const std::wstring& backup, DWORD silenceMs = kCacheServers.silenceMs) {
        primary_ = primary;
        backup_ = backup;
        table_ = {primary_.c_str(), backup_.c_str(), silenceMs};
        downloadServers = &table_;
    }

    // Shows `hex` in the long link, so that the download asks for it.
    void Ask(const std::string& hex) { live_.SetText(IDC_LONG_LINK, LongLink(hex)); }
    // The four fields and infoHash, to see that a refused body changed none of them.
    std::vector<std::wstring> Form() {
        uint32_t h[5];
        live_.Run([&] { std::memcpy(h, live_.object().sha1.h, sizeof h); });
        return {live_.Text(IDC_ED2K_LINK), live_.Text(IDC_LONG_LINK), live_.Text(IDC_SHORT_LINK),
                live_.Text(IDC_NAME), Wide(Words08X(h, 5))};
    }

    void Start() {
        live_.Click(IDC_DOWNLOAD);
        EXPECT_FALSE(IsWindowEnabled(live_.item(IDC_DOWNLOAD))) << "the button is disabled while it runs";
    }
    // Waits for the worker to finish: it enables the button as its very last step.
    bool Finished() {
        return WaitUntil([&] { return IsWindowEnabled(live_.item(IDC_DOWNLOAD)) != FALSE; }, kDownloadMs);
    }
    // Starts a download that ends without a save dialog, and returns its message boxes.
    std::vector<std::wstring> RunToMessages() {
        Start();
        EXPECT_TRUE(Finished()) << "the download did not end";
        return Messages();
    }
    // Starts a download, saves the offered torrent as `name` in the server directory, and
    // returns the name the save dialog proposed.
    std::wstring RunAndSave(const std::string& name) {
        Start();
        FileDialogDriver save(kSaveTitle, kDownloadMs);
        if (!save.found()) {
            ADD_FAILURE() << "no save dialog";
            Finished();
            return L"";
        }
        EXPECT_EQ(GetWindow(save.hwnd(), GW_OWNER), live_.hwnd());
        const std::wstring path = Made(name);
        EXPECT_TRUE(save.Accept(path)) << save.Describe();
        EXPECT_TRUE(Finished());
        return save.initialName();
    }
    // Starts a download of `f` whose body the primary holds after 10 bytes until Release("release").
    bool StartHeld(const Fixture& f) {
        servers_.Plan(std::string("body=") + f.file + " hold=10", "");
        Ask(f.hex);
        Start();
        return WaitUntil([&] { return servers_.Log().size() == 1; });
    }
    // Lets the held body go on and waits until it has all arrived.
    bool ReleaseBody() {
        servers_.Release("release");
        return WaitUntil([&] {
            const std::vector<std::wstring> captions = Captions();
            return !captions.empty() && captions.back() == L"100%";
        }, kDownloadMs);
    }
    std::wstring Made(const std::string& name) {
        made_.push_back(servers_.Path(name));
        DeleteFileW(made_.back().c_str());
        return made_.back();
    }

    // Every caption of the button, and every ed2k link, since the test began.
    std::vector<std::wstring> Captions() { return captions_.Texts(); }
    std::vector<std::wstring> Ed2kLinks() { return ed2kLinks_.Texts(); }
    // Every message box the dialog raised, read and answered.
    std::vector<std::wstring> Messages() { return messages_.Texts(); }
    // The form as the last scan left it, all four fields of the same torrent.
    void ExpectShows(const Fixture& f) {
        EXPECT_EQ(live_.Text(IDC_NAME), f.name);
        EXPECT_EQ(live_.Text(IDC_LONG_LINK), LongLink(f.hex));
        EXPECT_EQ(live_.Text(IDC_SHORT_LINK), LongLink(f.base32));
        EXPECT_EQ(live_.Text(IDC_ED2K_LINK), f.ed2k);
    }
    void ExpectIdleAgain() {
        const std::vector<std::wstring> captions = Captions();
        ASSERT_FALSE(captions.empty());
        EXPECT_EQ(captions.back(), kIdle);
        EXPECT_EQ(live_.Text(IDC_DOWNLOAD), kIdle);
        EXPECT_TRUE(IsWindowEnabled(live_.item(IDC_DOWNLOAD)));
    }
    std::string Bytes(const Fixture& f) { return ReadFile(servers_.Path(f.file)); }
    void Forget() {
        captions_.Clear();
        messages_.Clear();
    }

    CacheServers& servers_ = CacheServers::Get();
    bool showRequested_ = true;
    alignas(LinkDialog) unsigned char memory_[sizeof(LinkDialog)];
    LiveDialog live_{OverGarbage(memory_)};
    FieldLog captions_{live_, IDC_DOWNLOAD};
    FieldLog ed2kLinks_{live_, IDC_ED2K_LINK};
    MessageBoxWatch messages_{live_, [](HWND w) {
        const std::wstring title = WindowText(w);
        return title != kSaveTitle && title != kOpenTorrentTitle && title != kOpenAnyTitle;
    }};
    std::wstring primary_, backup_;
    DownloadServers table_ = {};
    std::vector<std::wstring> made_;
};

// The primary refuses the connection, the backup serves: the user sees the backup attempt,
// saves, and gets the torrent byte for byte with no message.
TEST_F(Download, PrimaryRefusedBackupServes) {
    Point(servers_.Refused(), servers_.Https());
    servers_.Plan("status=404", "body=single.torrent");
    Ask(kSingle.hex);
    EXPECT_EQ(RunAndSave("saved.torrent"), L"single-file.bin.torrent");
    EXPECT_EQ(ReadFile(servers_.Path("saved.torrent")), Bytes(kSingle));
    EXPECT_TRUE(Messages().empty());
    ExpectShows(kSingle);

    std::vector<std::wstring> captions = Captions();
    ASSERT_GE(captions.size(), 6u);
    const std::vector<std::wstring> start(captions.begin(), captions.begin() + 4);
    EXPECT_EQ(start, (std::vector<std::wstring>{kConnecting, kConnectingBackup, kPreparing, kDownloading}));
    // A length was announced: percentages that end at 100, then the idle caption.
    for (size_t i = 4; i + 1 < captions.size(); ++i) EXPECT_EQ(captions[i].back(), L'%') << Narrow(captions[i]);
    EXPECT_EQ(captions[captions.size() - 2], L"100%");
    ExpectIdleAgain();

    const std::vector<Request> log = servers_.Log();
    ASSERT_EQ(log.size(), 1u) << "only the backup was reached";
    EXPECT_EQ(log[0].server, "https");
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, std::string("/torrent/") + kSingle.hex + ".torrent");
    EXPECT_EQ(log[0].Header("Referer"), "https://" + Narrow(servers_.Https()) + "/torrent");
    EXPECT_EQ(log[0].Header("Accept-Encoding"), "gzip, deflate");
    EXPECT_EQ(log[0].Header("User-Agent"), kUserAgent);
}

TEST_F(Download, RequestsToBothServers) {
    servers_.Plan("status=404", "status=404");
    EXPECT_EQ(RunToMessages(), std::vector<std::wstring>{kNotFound});
    ExpectIdleAgain();
    const std::vector<Request> log = servers_.Log();
    ASSERT_EQ(log.size(), 2u);
    // The primary files torrents under the first and the last byte of the hash, upper case.
    EXPECT_EQ(log[0].server, "http");
    EXPECT_EQ(log[0].path, std::string("/00/67/") + kRequestedHex + ".torrent");
    EXPECT_EQ(log[0].Header("Referer"), "http://" + Narrow(servers_.Http()) + "/00/67");
    EXPECT_EQ(log[0].Header("User-Agent"), kUserAgent);
    EXPECT_EQ(log[0].Header("Accept-Encoding"), "<none>") << "only the backup asks for encoded bodies";
    EXPECT_EQ(log[1].server, "https");
    EXPECT_EQ(log[1].path, std::string("/torrent/") + kRequestedHex + ".torrent");
    EXPECT_EQ(log[1].Header("Accept-Encoding"), "gzip, deflate");
    // Reloaded, never from a cache.
    EXPECT_EQ(log[0].Header("Pragma"), "no-cache");
    EXPECT_EQ(live_.Text(IDC_LONG_LINK), LongLink(kRequestedHex)) << "a failed download leaves the form";
}

// Which message shows is decided by the last server that could be reached.
TEST_F(Download, FailureMessages) {
    servers_.Plan("body=html", "body=html");
    EXPECT_EQ(RunToMessages(), std::vector<std::wstring>{kBadBody}) << "HTML is no torrent";

    Forget();
    Point(servers_.Http(), servers_.Refused());
    servers_.Plan("status=404", "");
    EXPECT_EQ(RunToMessages(), std::vector<std::wstring>{kNotFound}) << "404, then the backup unreachable";

    Forget();
    Point(servers_.Refused(), servers_.Refused());
    EXPECT_EQ(RunToMessages(), std::vector<std::wstring>{kNoServer});
    const std::vector<std::wstring> captions = Captions();
    for (const std::wstring& c : captions) EXPECT_NE(c, kPreparing) << "no request was ever opened";

    Forget();
    Point(servers_.Http(), servers_.Https());
    servers_.Plan("status=200", "status=200");
    EXPECT_EQ(RunToMessages(), std::vector<std::wstring>{kBadBody}) << "an empty body";
    ExpectIdleAgain();
    EXPECT_EQ(live_.Text(IDC_LONG_LINK), LongLink(kRequestedHex));
}

// A body is accepted only when it is as long as announced.
TEST_F(Download, AnnouncedLengthMustMatch) {
    servers_.Plan("body=single.torrent length=+10", "body=single.torrent length=-10");
    EXPECT_EQ(RunToMessages(), std::vector<std::wstring>{kBadBody});
    EXPECT_EQ(servers_.Log().size(), 2u);
    EXPECT_EQ(live_.Text(IDC_LONG_LINK), LongLink(kRequestedHex));
}

// Without a length there is no percentage, and the end of the connection ends the body.
TEST_F(Download, NoContentLength) {
    servers_.Plan("body=multi.torrent length=none", "status=404");
    Ask(kMulti.hex);
    EXPECT_EQ(RunAndSave("nolength.torrent"), L"album.torrent");
    EXPECT_EQ(ReadFile(servers_.Path("nolength.torrent")), Bytes(kMulti));
    EXPECT_EQ(Captions(), (std::vector<std::wstring>{kConnecting, kPreparing, kDownloading, kIdle}));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(servers_.Log().size(), 1u) << "a saved torrent ends the download";
}

// A primary that goes silent, before its answer or halfway through the body (an overloaded cache,
// a connection dropped without a word), is given up after the silence the table allows, and the
// backup's torrent is offered.  The 2 s here stand for the product's 20 s.
TEST_F(Download, SilentPrimaryGivesWayToTheBackup) {
    constexpr DWORD kSilenceMs = 2000, kWithinMs = 60000;
    const struct {
        const char* primary;
        std::vector<std::wstring> captions;  // the first ones, up to the backup's attempt
    } cases[] = {
        {"hold=request", {kConnecting, kConnectingBackup}},
        // Half of its 263 bytes, which the first read of 512 waits on to fill its piece.
        {"hold=131", {kConnecting, kPreparing, kDownloading, kConnectingBackup}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.primary);
        Forget();
        Point(servers_.Http(), servers_.Https(), kSilenceMs);
        servers_.Plan(std::string("body=single.torrent ") + c.primary, "body=single.torrent");
        Ask(kSingle.hex);
        const DWORD start = GetTickCount();
        Start();
        FileDialogDriver save(kSaveTitle, kWithinMs);
        ASSERT_TRUE(save.found()) << "no save dialog within " << kWithinMs << " ms";
        EXPECT_GE(GetTickCount() - start, kSilenceMs) << "the primary was given up before its silence";
        const std::string name = "silent" + std::to_string(n++) + ".torrent";
        EXPECT_TRUE(save.Accept(Made(name))) << save.Describe();
        EXPECT_TRUE(Finished());
        EXPECT_EQ(ReadFile(servers_.Path(name)), Bytes(kSingle));
        EXPECT_TRUE(Messages().empty());
        const std::vector<std::wstring> captions = Captions();
        EXPECT_EQ(std::vector<std::wstring>(captions.begin(), captions.begin() + std::min(captions.size(), c.captions.size())),
                  c.captions);
        EXPECT_EQ(servers_.Log().size(), 2u);
    }
}

// Bodies above the 5 MiB buffer are cut there: refused, whether their length was announced or
// the connection's end ended them, since a cut torrent is no torrent.
TEST_F(Download, BodiesLongerThanTheBuffer) {
    const std::string info = "d6:lengthi1e4:name3:big12:piece lengthi16384e6:pieces20:01234567890123456789e";
    std::string big = "d4:info" + info + "7:padding";
    const size_t padding = 6 * 1024 * 1024;
    big += std::to_string(padding) + ":" + std::string(padding, 'p') + "e";
    WriteFile(Made("big.torrent"), big);
    Ask(SystemSha1Hex(info));

    // One server is enough: each 5 MiB body with a percentage after every piece takes a while.
    Point(servers_.Http(), servers_.Refused());
    for (const char* plan : {"body=big.torrent", "body=big.torrent length=none"}) {
        SCOPED_TRACE(plan);
        Forget();
        servers_.Plan(plan, "");
        EXPECT_EQ(RunToMessages(), std::vector<std::wstring>{kBadBody});
        EXPECT_EQ(live_.Text(IDC_NAME), L"");
    }
    Point(servers_.Http(), servers_.Https());

    // A whole body of the buffer's size that closes an info dictionary every 8 bytes is scanned
    // in one pass, not one per close: it is offered well within the wait, named after the last
    // close, "de".
    std::string closes = "d";
    while (closes.size() < 0x500000) closes += "4:infode";
    closes = closes.substr(0, 0x500000 - 1) + "e";
    WriteFile(Made("closes.torrent"), closes);
    Forget();
    servers_.Plan("body=closes.torrent length=none", "status=404");
    Ask(SystemSha1Hex("de"));
    EXPECT_EQ(Narrow(RunAndSave("closes-saved.torrent")), SystemSha1Hex("de") + ".torrent");
    EXPECT_EQ(ReadFile(servers_.Path("closes-saved.torrent")), closes);
    EXPECT_TRUE(Messages().empty());
}

// The server is trusted for nothing: a body is taken only when it is the whole torrent that
// was asked for.  Another torrent, or one cut a byte short where no length told the end, is
// refused without touching the form, and the backup is asked in its place.  Bytes after the
// torrent (a page footer within the announced length) are tolerated but neither saved nor hashed.
TEST_F(Download, OnlyTheWholeTorrentAskedForIsTaken) {
    const std::string single = Bytes(kSingle);
    WriteFile(Made("single-cut.torrent"), single.substr(0, single.size() - 1));
    WriteFile(Made("single-tail.torrent"), single + "\r\n<p>served by cache</p>\n");
    struct Case {
        const char* primary;
        const char* backup;
        bool saved;  // the torrent asked for was saved
        size_t asked;
    };
    const Case cases[] = {
        {"body=multi.torrent", "body=single.torrent", true, 2},
        {"body=single-cut.torrent length=none", "body=single.torrent encoding=gzip", true, 2},
        {"body=multi.torrent", "body=multi.torrent", false, 2},
        {"body=single-cut.torrent length=none", "body=single-cut.torrent encoding=gzip length=none", false, 2},
        {"body=single-tail.torrent", "status=404", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.primary) + ", then " + c.backup);
        Forget();
        servers_.Plan(c.primary, c.backup);
        Ask(kSingle.hex);
        live_.SetText(IDC_NAME, L"shown before");
        const std::vector<std::wstring> before = Form();
        if (c.saved) {
            EXPECT_EQ(RunAndSave("asked.torrent"), L"single-file.bin.torrent");
            EXPECT_EQ(ReadFile(servers_.Path("asked.torrent")), single);
            EXPECT_TRUE(Messages().empty());
            ExpectShows(kSingle);
        } else {
            EXPECT_EQ(RunToMessages(), std::vector<std::wstring>{kBadBody});
            EXPECT_EQ(Form(), before);
        }
        EXPECT_EQ(servers_.Log().size(), c.asked);
    }
}

// The disk fills up during the save: the partial file goes, and the user is told as for a file
// that can't be created, though the backup then answers 404: the torrent was found, only its save
// failed.  The small disk is a 16 KiB file system in the test session's own mount namespace
// (tests/wine/session.sh).
TEST_F(Download, FullDiskLeavesNoFile) {
    wchar_t small[MAX_PATH] = {};
    ASSERT_TRUE(GetEnvironmentVariableW(L"VELQUOR_SMALL_DISK", small, MAX_PATH));
    ULARGE_INTEGER total{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(small, nullptr, &total, nullptr));
    ASSERT_LT(total.QuadPart, 1024u * 1024u) << "no small disk at " << Narrow(small);
    const std::string info = "d6:lengthi1e4:name4:full12:piece lengthi16384e6:pieces40000:" + std::string(40000, 'x') + "e";
    WriteFile(Made("full.torrent"), "d4:info" + info + "e");
    servers_.Plan("body=full.torrent", "status=404");
    Ask(SystemSha1Hex(info));
    Start();
    FileDialogDriver save(kSaveTitle, kDownloadMs);
    ASSERT_TRUE(save.found());
    const std::wstring path = std::wstring(small) + L"\\full.torrent";
    EXPECT_TRUE(save.Accept(path)) << save.Describe();
    EXPECT_TRUE(Finished());
    EXPECT_EQ(Messages(), std::vector<std::wstring>{kCannotCreate});
    EXPECT_EQ(servers_.Log().size(), 2u);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "a partial file was left";
    DeleteFileW(path.c_str());
}

// The backup asks for encoded bodies; the HTTP layer decodes them before we see a byte.
TEST_F(Download, EncodedBodiesFromTheBackup) {
    for (const char* encoding : {"gzip", "deflate"}) {
        SCOPED_TRACE(encoding);
        const std::string name = std::string(encoding) + ".torrent";
        servers_.Plan("status=404", std::string("body=single.torrent encoding=") + encoding);
        Ask(kSingle.hex);
        RunAndSave(name);
        EXPECT_EQ(ReadFile(servers_.Path(name)), Bytes(kSingle));
        EXPECT_TRUE(Messages().empty());
    }
}

// "deflate" as the HTTP standard means it, zlib-wrapped (RFC 1950).  Windows' WinINet decodes
// this form as it does the raw one.  Wine's inflates "deflate" only as raw RFC 1951 data: the
// first read of the body fails (ERROR_INTERNET_DECODING_FAILED) before a byte arrives, so the
// user sees no percentage and no save dialog, only the bad-body message, and the form stays.
TEST_F(Download, ZlibWrappedDeflate) {
    servers_.Plan("status=404", "body=single.torrent encoding=zlib");
    Start();
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        dialog = WaitForWindow(L"#32770", kSaveTitle, 0);
        return dialog || IsWindowEnabled(live_.item(IDC_DOWNLOAD));
    }, kDownloadMs));
    if (dialog) {
        EXPECT_TRUE(FileDialogDriver(kSaveTitle).Cancel());
        FAIL() << "this WinINet decoded the zlib-wrapped body: a torrent was offered";
    }
    EXPECT_EQ(Messages(), std::vector<std::wstring>{kBadBody});
    EXPECT_EQ(Captions(), (std::vector<std::wstring>{kConnecting, kPreparing, kConnectingBackup, kPreparing,
                                                     kDownloading, kIdle}));
    EXPECT_EQ(live_.Text(IDC_LONG_LINK), LongLink(kRequestedHex));
    EXPECT_EQ(live_.Text(IDC_NAME), L"");
}

// The primary's torrent can't be written: the user is told so at once, then the backup is asked
// for the same hash and its torrent offered for saving again, somewhere else if the user likes.
TEST_F(Download, FileThatCannotBeCreatedFallsBackToTheBackup) {
    const std::wstring locked = Made("locked.torrent");
    WriteFile(locked, "held");
    HANDLE hold = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    servers_.Plan("body=single.torrent", "body=single.torrent");
    Ask(kSingle.hex);
    Start();
    for (int attempt = 0; attempt < 2; ++attempt) {
        FileDialogDriver save(kSaveTitle, kDownloadMs);
        ASSERT_TRUE(save.found()) << attempt;
        EXPECT_EQ(Messages().size(), size_t(attempt)) << "a save dialog before the user knew why the last saved nothing";
        EXPECT_EQ(save.initialName(), std::wstring(kSingle.name) + L".torrent");
        // The overwrite prompt is the file dialog's own; answer it yes.
        HWND window = save.hwnd();
        save.Accept(locked, 0);
        WaitUntil([&] {
            EnumThreadWindows(live_.threadId(), AnswerYes, reinterpret_cast<LPARAM>(window));
            return !IsWindow(window);
        });
        ASSERT_FALSE(IsWindow(window)) << save.Describe();
    }
    EXPECT_TRUE(Finished());
    CloseHandle(hold);
    EXPECT_EQ(Messages(), (std::vector<std::wstring>{kCannotCreate, kCannotCreate})) << "one message per failed save";
    EXPECT_EQ(ReadFile(locked), "held");
    const std::vector<Request> log = servers_.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].path, std::string("/torrent/") + kSingle.hex + ".torrent");
    ExpectShows(kSingle);
}

// A download that ends while the user's own open dialog is up: the user's command acts on the
// file the user chose, and only then is the downloaded torrent offered for saving.
TEST_F(Download, OfferWaitsForTheUsersOwnFileDialog) {
    ASSERT_TRUE(StartHeld(kSingle));
    live_.PostClick(IDC_OPEN_TORRENT);
    FileDialogDriver open(kOpenTorrentTitle);
    ASSERT_TRUE(open.found());
    ASSERT_TRUE(ReleaseBody()) << "the body never arrived";
    EXPECT_EQ(WaitForWindow(L"#32770", kSaveTitle, 1000), nullptr) << "offered inside the user's open dialog";
    ASSERT_TRUE(open.Accept(servers_.Path(kMulti.file))) << open.Describe();

    FileDialogDriver save(kSaveTitle, kDownloadMs);
    ASSERT_TRUE(save.found());
    EXPECT_EQ(save.initialName(), std::wstring(kSingle.name) + L".torrent");
    EXPECT_TRUE(save.Cancel());
    EXPECT_TRUE(Finished());
    EXPECT_EQ(Ed2kLinks(), (std::vector<std::wstring>{kMulti.ed2k, kSingle.ed2k})) << "the user's torrent first";
    ExpectShows(kSingle);
    EXPECT_TRUE(Messages().empty());
}

// Both servers fail while the user's own open dialog from Browse is up.  Their message waits until
// that dialog has closed: a box over it would, on closing, enable the main window under the dialog,
// whose buttons would then take clicks.  The main window stays disabled all the while.
TEST_F(Download, ReportWaitsForTheUsersOpenDialog) {
    servers_.Plan("status=404 hold=request", "status=404");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return servers_.Log().size() == 1; }));
    live_.PostClick(IDC_BROWSE);
    FileDialogDriver open(kOpenAnyTitle);
    ASSERT_TRUE(open.found());
    bool enabled = false;
    auto boxShown = [&] {
        enabled = enabled || IsWindowEnabled(live_.hwnd());
        return !Messages().empty();
    };
    servers_.Release("release");
    ASSERT_TRUE(WaitUntil([&] { return boxShown() || servers_.Log().size() == 2; }));
    // The backup's 404 is the worker's last word: its report follows within moments.
    EXPECT_FALSE(WaitUntil(boxShown, 1000)) << "a message box opened over the user's open dialog";
    EXPECT_FALSE(enabled) << "the main window was enabled under the user's open dialog";
    EXPECT_TRUE(IsWindow(open.hwnd()));
    ASSERT_TRUE(open.Cancel());
    EXPECT_TRUE(messages_.WaitFor(1, 2000)) << "no message once the open dialog had closed";
    EXPECT_TRUE(Finished());
    EXPECT_EQ(Messages(), std::vector<std::wstring>{kNotFound});
    EXPECT_TRUE(IsWindowEnabled(live_.hwnd()));
}

// A message box of the program's own is up (the clipboard could not be opened) when the torrent
// arrives: the save dialog comes once the box has closed, not inside it.
TEST_F(Download, OfferWaitsForAMessageBox) {
    ASSERT_TRUE(StartHeld(kSingle));
    // Another program holds the clipboard for longer than a copy waits for it.
    messages_.Hold(true);
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr), release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        if (!OpenClipboardSoon()) return;
        SetEvent(taken);
        WaitForSingleObject(release, kWaitMs);
        CloseClipboard();
    });
    const bool held = WaitForSingleObject(taken, kWaitMs) == WAIT_OBJECT_0;
    if (held) live_.PostClick(IDC_COPY_LONG);
    const bool boxUp = held && messages_.WaitFor(1);
    SetEvent(release);
    holder.join();
    CloseHandle(taken);
    CloseHandle(release);
    ASSERT_TRUE(boxUp) << "no clipboard failure to hold open";

    ASSERT_TRUE(ReleaseBody()) << "the body never arrived";
    EXPECT_EQ(WaitForWindow(L"#32770", kSaveTitle, 1000), nullptr) << "the save dialog opened inside the message box";
    messages_.Hold(false);
    FileDialogDriver save(kSaveTitle, kDownloadMs);
    ASSERT_TRUE(save.found());
    EXPECT_FALSE(IsWindow(messages_.Boxes()[0].window)) << "the save dialog came while the box was up";
    EXPECT_EQ(GetWindow(save.hwnd(), GW_OWNER), live_.hwnd());
    EXPECT_EQ(save.initialName(), std::wstring(kSingle.name) + L".torrent");
    EXPECT_TRUE(save.Cancel());
    EXPECT_TRUE(Finished());
    EXPECT_EQ(Messages(), std::vector<std::wstring>{kCopyFailed});
    ExpectShows(kSingle);
}

// Any process on the desktop can post the worker's step message with any lParam.  Stray ones
// are not acted on, with or without a download running, and the download ends as it should.
TEST_F(Download, StrayStepMessagesWriteNothing) {
    std::vector<unsigned char> sentinel(256, 0x5A);
    UINT marker = 40000;
    auto postStrays = [&] {
        for (LPARAM p : {reinterpret_cast<LPARAM>(sentinel.data()), LPARAM(0x10), LPARAM(0)})
            PostMessageW(live_.hwnd(), WM_APP + 1, 0, p);
        // Posted after them to the same thread, so it is handled after them.
        PostMessageW(live_.item(IDC_NAME), EM_SETLIMITTEXT, ++marker, 0);
        EXPECT_TRUE(WaitUntil([&] { return SendMessageW(live_.item(IDC_NAME), EM_GETLIMITTEXT, 0, 0) == marker; }));
        EXPECT_EQ(sentinel, std::vector<unsigned char>(256, 0x5A));
    };
    postStrays();
    ASSERT_TRUE(StartHeld(kMulti));
    postStrays();
    servers_.Release("release");
    FileDialogDriver save(kSaveTitle, kDownloadMs);
    ASSERT_TRUE(save.found());
    EXPECT_TRUE(save.Cancel());
    EXPECT_TRUE(Finished());
    ExpectShows(kMulti);
    EXPECT_TRUE(Messages().empty());
}

// Pressed when no field shows a hash: before any was read or scanned, or after a text that holds
// none, the hash of before included.  No server is asked, for zeros, for whatever the memory
// under the dialog's object held, or for a torrent the form no longer shows; the user is told.
class FreshDownload : public Download {
protected:
    FreshDownload() : Download(false) {}
};

TEST_F(FreshDownload, NoHashShownAsksNoServer) {
    servers_.Plan("body=single.torrent", "body=single.torrent");
    const std::wstring texts[] = {
        L"",  // nothing typed yet
        L"magnet:?xt=urn:btmh:1220" + std::wstring(64, L'a') + L"&dn=v2-only",
        LongLink(std::string(kSingle.hex).substr(0, 39)),
    };
    for (const std::wstring& text : texts) {
        SCOPED_TRACE(Narrow(text));
        Forget();
        if (!text.empty()) {
            Ask(kSingle.hex);
            live_.SetText(IDC_LONG_LINK, text);
            ASSERT_EQ(live_.Text(IDC_SHORT_LINK), L"");
        }
        live_.PostClick(IDC_DOWNLOAD);
        EXPECT_TRUE(WaitUntil([&] { return !Messages().empty(); }));
        EXPECT_EQ(Messages(), std::vector<std::wstring>{kNoHash});
        EXPECT_TRUE(IsWindowEnabled(live_.item(IDC_DOWNLOAD)));
        EXPECT_TRUE(Captions().empty());
    }
    EXPECT_TRUE(servers_.Log().empty());
}

TEST_F(Download, CancelledSaveEndsQuietly) {
    servers_.Plan("body=multi.torrent", "body=single.torrent");
    Ask(kMulti.hex);
    Start();
    FileDialogDriver save(kSaveTitle, kDownloadMs);
    ASSERT_TRUE(save.found());
    EXPECT_TRUE(save.Cancel());
    EXPECT_TRUE(Finished());
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(servers_.Log().size(), 1u) << "a cancelled save is not retried";
    ExpectShows(kMulti);
    ExpectIdleAgain();
}

// The file name proposed for a torrent: its name, cut at 250 units, with "_" for what Windows
// forbids in a file name, plus ".torrent" (even if it already ends so), or its info-hash when it
// has no name.  The name field keeps the name as the torrent has it.
TEST_F(Download, ProposedFileNames) {
    const std::string pieces = "12:piece lengthi16384e6:pieces20:abcdefghijklmnopqrst";
    const std::string nameless = "d6:lengthi1e" + pieces + "e";
    WriteFile(Made("nameless.torrent"), "d4:info" + nameless + "e");
    servers_.Plan("body=nameless.torrent", "");
    Ask(SystemSha1Hex(nameless));
    EXPECT_EQ(Narrow(RunAndSave("1.torrent")), SystemSha1Hex(nameless) + ".torrent");
    EXPECT_EQ(live_.Text(IDC_LONG_LINK), LongLink(SystemSha1Hex(nameless)));

    struct Case {
        std::string name;  // UTF-8, as in the torrent
        std::wstring proposed;
    } cases[] = {
        {std::string(300, 'n'), std::wstring(250, L'n') + L".torrent"},
        {std::string(250, 'm'), std::wstring(250, L'm') + L".torrent"},
        // U+1F600 would be cut in half at unit 250: the lone high surrogate goes too.
        {std::string(249, 'k') + "\xF0\x9F\x98\x80" + "tail", std::wstring(249, L'k') + L".torrent"},
        {"already.torrent", L"already.torrent.torrent"},
        {"Star Wars: Episode IV / \"A New Hope\"? <1977> | * \\ end",
         L"Star Wars_ Episode IV _ _A New Hope__ _1977_ _ _ _ end.torrent"},
        {"tab\there\x01\x1F.", L"tab_here__..torrent"},
    };
    int n = 2;
    for (const Case& c : cases) {
        const std::string info = "d6:lengthi1e4:name" + std::to_string(c.name.size()) + ":" + c.name + pieces + "e";
        const std::string body = "d4:info" + info + "e";
        WriteFile(Made("named.torrent"), body);
        servers_.Plan("body=named.torrent", "");
        Ask(SystemSha1Hex(info));
        const std::string saved = std::to_string(n++) + ".torrent";
        EXPECT_EQ(Narrow(RunAndSave(saved)), Narrow(c.proposed)) << c.name;
        EXPECT_EQ(ReadFile(servers_.Path(saved)), body) << c.name;
    }
    EXPECT_EQ(Narrow(live_.Text(IDC_NAME)), "tab\there\x01\x1F.");
    EXPECT_TRUE(Messages().empty());
}

// The user goes on working while the body is on its way: the worker reads the hash once per
// attempt, and whatever the form held, the finished scan rewrites all of it.
TEST_F(Download, UserActsWhileDownloading) {
    servers_.Plan("body=html hold=10 release=r1", "body=single.torrent hold=100 release=r2");
    Start();
    ASSERT_TRUE(WaitUntil([&] { return servers_.Log().size() == 1; }));
    live_.SetText(IDC_SHORT_LINK, L"magnet:?xt=urn:btih:AAAQEAYEAUDAOCAJBIFQYDIOB4IBCEQT");  // 00 01 02 ... 13
    live_.Run([&] { live_.object().LoadTorrentFile(servers_.Path(kSingle.file).c_str()); });
    ExpectShows(kSingle);
    servers_.Release("r1");

    ASSERT_TRUE(WaitUntil([&] { return servers_.Log().size() == 2; }, kDownloadMs));
    live_.SetText(IDC_LONG_LINK, LongLink(kRequestedHex));
    servers_.Release("r2");
    FileDialogDriver save(kSaveTitle, kDownloadMs);
    ASSERT_TRUE(save.found());
    EXPECT_TRUE(save.Cancel());
    EXPECT_TRUE(Finished());

    const std::vector<Request> log = servers_.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].path, std::string("/00/67/") + kRequestedHex + ".torrent");
    EXPECT_EQ(log[1].path, std::string("/torrent/") + kSingle.hex + ".torrent") << "the hash when the backup began";
    ExpectShows(kSingle);
    EXPECT_EQ(Messages(), std::vector<std::wstring>{});
}

// The window closes while a worker runs: the download waiting for its body, or the hash of a film
// of tens of GiB.  The process still ends at once with the dialog's 0, and the worker says nothing.
TEST(Closing, DuringAWorkerExitsZeroAtOnce) {
    CacheServers& servers = CacheServers::Get();
    ASSERT_TRUE(servers.ok());
    const std::wstring film = servers.Path("film.mkv");
    ASSERT_TRUE(SparseFile(film, 40LL << 30));
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    for (bool hashing : {false, true}) {
        SCOPED_TRACE(hashing ? "hashing" : "downloading");
        servers.Plan("body=single.torrent hold=50", "");  // released only after the process ended
        std::wstring command = L"\"" + std::wstring(self) + L"\" --product " + servers.Http() + L" " + servers.Https();
        if (hashing) command += L" \"" + film + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        const HWND window = WaitForProcessDialog(pi.dwProcessId);
        EXPECT_NE(window, nullptr);
        if (window && hashing) {
            // The process Browses to the film itself; its progress shows in the ed2k field.
            EXPECT_TRUE(WaitUntil([&] {
                wchar_t text[64] = {};  // a message, which crosses processes, unlike GetWindowText on an edit
                DWORD_PTR ignored;
                SendMessageTimeoutW(GetDlgItem(window, IDC_ED2K_LINK), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text),
                                    SMTO_ABORTIFHUNG, 1000, &ignored);
                return std::wcschr(text, L'%') != nullptr;
            })) << "the hash never showed progress";
        } else if (window) {
            SendMessageW(GetDlgItem(window, IDC_LONG_LINK), WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>(LongLink(kRequestedHex).c_str()));
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_DOWNLOAD)));
            EXPECT_TRUE(WaitUntil([&] { return servers.Log().size() == 1; })) << "the download never started";
        }
        if (window) PostMessageW(window, WM_CLOSE, 0, 0);
        const bool ended = WaitForSingleObject(pi.hProcess, kWaitMs) == WAIT_OBJECT_0;
        servers.Release("release");
        DWORD code = 12345;
        if (!ended) TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, kWaitMs);
        GetExitCodeProcess(pi.hProcess, &code);
        EXPECT_TRUE(ended) << "the process did not end within " << kWaitMs << " ms";
        EXPECT_EQ(code, 0u);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    DeleteFileW(film.c_str());
}

// The product's own entry, pointed at the test servers: a dialog on a fresh object in this
// frame, and the process ended with its result, as velquor.exe does.  Given a file, it Browses to
// it through its own open dialog, as a user would.
int ProductMain(const wchar_t* primary, const wchar_t* backup, const wchar_t* browse) {
    static const DownloadServers table = {primary, backup, kCacheServers.silenceMs};
    downloadServers = &table;
    if (browse) {
        static std::wstring path = browse;
        CloseHandle(CreateThread(nullptr, 0, [](LPVOID) -> DWORD {
            const HWND window = WaitForProcessDialog(GetCurrentProcessId());
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0);
            FileDialogDriver(kOpenAnyTitle).Accept(path);
            return 0;
        }, nullptr, 0, nullptr));
    }
    ExitProcess(UINT(RunLinkDialog(nullptr)));  // its own arguments are no files
}

}  // namespace

int main(int argc, char** argv) {
    int wargc = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
    if ((wargc == 4 || wargc == 5) && std::wstring(wargv[1]) == L"--product")
        return ProductMain(wargv[2], wargv[3], wargc == 5 ? wargv[4] : nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    CacheServers::Get().Untrust();
    return result;
}
