// The walk's events folded into what the form shows once the scan is over.  Showing every event
// as it came would write the form, and hash the whole buffer for the ed2k link, at every info
// close: quadratic in the size of a file made of nothing but closes.
#include "torrent/TorrentSummary.h"

#include <cstring>

#include "hash/Ed2k.h"

namespace {

class SummarySink final : public BencodeSink {
public:
    explicit SummarySink(TorrentSummary& summary) : summary_(summary) {}

    void OnName(const uint8_t* text, uint32_t count) override { summary_.name = {text, count, true}; }

    void OnInfoClosed(uint32_t start, uint32_t end, bool) override {
        summary_.nameAtClose = summary_.name;
        summary_.infoStart = start;
        summary_.infoEnd = end;
    }

private:
    TorrentSummary& summary_;
};

}  // namespace

void SummarizeTorrent(const uint8_t* data, uint32_t length, TorrentSummary& summary) {
    summary = {};
    SummarySink sink(summary);
    summary.walk = ScanBencode(data, length, sink);
    if (summary.walk.result != 1) return;
    Sha1HashSpan(summary.sha1, data + summary.infoStart, summary.infoEnd - summary.infoStart);
    Ed2kContext ed2k;
    Ed2kInit(ed2k);
    Ed2kUpdate(ed2k, data, length);
    Ed2kFinal(ed2k, summary.ed2k);
}

bool IsWholeTorrentFor(const TorrentSummary& summary, const uint32_t infoHash[5]) {
    return summary.walk.result == 1 && summary.walk.topEnd != 0 &&
           std::memcmp(summary.sha1.h, infoHash, sizeof summary.sha1.h) == 0;
}
