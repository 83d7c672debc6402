// libFuzzer target: the walk over any bytes, checking every span it reports lies in the data.
#include <cstdlib>

#include "torrent/BencodeScan.h"

namespace {

struct CheckingSink final : BencodeSink {
    const uint8_t* data;
    uint32_t length;
    bool named = false;
    void OnName(const uint8_t* text, uint32_t count) override {
        if (text < data || count > length || text - data > length - count) abort();
        named = true;
    }
    void OnInfoClosed(uint32_t start, uint32_t end, bool nameFound) override {
        if (start >= end || end > length || data[end - 1] != 'e' || nameFound != named) abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckingSink sink;
    sink.data = data;
    sink.length = static_cast<uint32_t>(size);
    BencodeScanResult r = ScanBencode(data, sink.length, sink);
    if (r.position > sink.length || (r.stop == BencodeStop::End) != (r.position == sink.length)) abort();
    return 0;
}
