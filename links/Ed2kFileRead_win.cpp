// The ed2k hash of an open file, read from start to end.
#include "links/Ed2kFileRead.h"

#include "hash/Ed2k.h"

namespace {

constexpr DWORD kReadSize = 1048576;

// The one read buffer of the process, used by one hash at a time (the hash worker sees to that).
// As a static it costs no allocation per file and never grows.
uint8_t readBuffer[kReadSize];

}  // namespace

Ed2kReadEnd ReadEd2k(HANDLE file, const Ed2kReadWatch& watch, uint32_t digest[4], uint64_t& total) {
    Ed2kContext ctx;
    Ed2kInit(ctx);
    total = 0;
    for (;;) {
        if (watch.stopped(watch.context)) return Ed2kReadEnd::kStopped;
        DWORD got = 0;
        if (!ReadFile(file, readBuffer, kReadSize, &got, nullptr)) return Ed2kReadEnd::kFailed;
        // A read of 0 bytes is the end, even when the file said it was bigger.
        if (got == 0) break;
        Ed2kUpdate(ctx, readBuffer, got);
        total += got;
        if (!watch.progress(watch.context, total)) return Ed2kReadEnd::kStopped;
    }
    Ed2kFinal(ctx, digest);
    return Ed2kReadEnd::kWhole;
}
