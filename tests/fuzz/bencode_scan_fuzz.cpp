// libFuzzer target: a torrent scan's whole portable path over any bytes.  The walk's spans must
// lie in the data, and the summary the form is written from must agree with the walk's events:
// the last name, the name at the last close, and the SHA-1 of the last info span, each info
// span hashed here as well.  Run with -timeout and a large -max_len, a path that is not linear
// in the size of the data shows as a timeout.
#include <cstdlib>
#include <cstring>

#include "torrent/TorrentSummary.h"

namespace {

struct CheckingSink final : BencodeSink {
    const uint8_t* data;
    uint32_t length;
    TorrentName name{};
    TorrentName nameAtClose{};
    Sha1Context last{};
    bool closed = false;
    void OnName(const uint8_t* text, uint32_t count) override {
        if (text < data || count > length || uint32_t(text - data) > length - count) abort();
        name = {text, count, true};
    }
    void OnInfoClosed(uint32_t start, uint32_t end, bool nameFound) override {
        if (start >= end || end > length || data[start] != 'd' || data[end - 1] != 'e' || nameFound != name.met)
            abort();
        Sha1HashSpan(last, data + start, end - start);
        nameAtClose = name;
        closed = true;
    }
};

bool SameName(const TorrentName& a, const TorrentName& b) {
    return a.met == b.met && (!a.met || (a.text == b.text && a.count == b.count));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0xFFFFFFFFu) return 0;
    CheckingSink sink;
    sink.data = data;
    sink.length = static_cast<uint32_t>(size);
    const BencodeScanResult r = ScanBencode(data, sink.length, sink);
    if (r.position > sink.length || (r.stop == BencodeStop::End) != (r.position == sink.length)) abort();
    // The torrent is the dictionary the data starts with, and it closes where the walk says.
    if (r.topEnd != 0 && (r.topEnd > r.position || data[0] != 'd' || data[r.topEnd - 1] != 'e')) abort();

    TorrentSummary summary;
    SummarizeTorrent(data, sink.length, summary);
    if (summary.walk.result != r.result || summary.walk.position != r.position || summary.walk.stop != r.stop || summary.walk.topEnd != r.topEnd ||
        r.result != int(sink.closed) || !SameName(summary.name, sink.name))
        abort();
    if (sink.closed && (!SameName(summary.nameAtClose, sink.nameAtClose) ||
                        std::memcmp(summary.sha1.h, sink.last.h, sizeof sink.last.h) != 0))
        abort();
    return 0;
}
