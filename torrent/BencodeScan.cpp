// One pass, no tree, no recursion: a stack of container kinds, the last key and where the last
// `info` value began.  The info-hash is then taken over the exact bytes, never a re-encoding.
// A torrent is named by the `info` dictionary of its top-level dictionary alone: the same word
// deeper down (a file or folder called "info", a key of some other dictionary) is only a string.
#include "torrent/BencodeScan.h"

#include <cstring>

namespace {

constexpr uint8_t kDictionary = 0;
constexpr uint8_t kList = 1;

bool SameBytes(const uint8_t* text, uint32_t count, const char* word, uint32_t wordLength) {
    return count == wordLength && std::memcmp(text, word, wordLength) == 0;
}

}  // namespace

int32_t ReadBencodeNumber(BencodeCursor& cursor) {
    uint32_t value = 0;
    bool negative = false;
    bool overflow = false;
    while (cursor.position < cursor.length) {
        const uint8_t c = cursor.data[cursor.position++];
        if (c == '-') {
            negative = true;
        } else if (c < '0' || c > '9') {
            break;
        } else {
            const uint32_t digit = c - '0';
            if (value > 214748364u || (value == 214748364u && digit > 7)) overflow = true;
            value = value * 10 + digit;  // wraps, as a 32-bit number does
        }
    }
    cursor.negative = negative;
    cursor.overflow = overflow;
    return static_cast<int32_t>(negative ? 0u - value : value);
}

BencodeScanResult ScanBencode(const uint8_t* data, uint32_t length, BencodeSink& sink) {
    // Level 0 is outside every container; as a list it never takes a string for a value.
    uint8_t kind[kBencodeMaxDepth + 1] = {kList};
    int32_t depth = 0;
    bool valueNext = false;
    const uint8_t* lastKey = nullptr;
    uint32_t lastKeyLength = 0;
    uint32_t infoStart = 0;
    int32_t infoDepth = -1;  // 1 while the top-level info dictionary is open, else -1
    // The torrent is the dictionary the data starts with; it ends at topEnd once it has closed.
    const bool startsWithDictionary = length > 0 && data[0] == 'd';
    uint32_t topEnd = 0;
    bool nameFound = false;
    int result = 0;
    uint32_t position = 0;

    auto stopAt = [&](uint32_t at, BencodeStop why) { return BencodeScanResult{result, at, why, topEnd}; };

    while (position < length) {
        const uint32_t at = position;
        const uint8_t c = data[position++];
        switch (c) {
        case 'd':
        case 'l':
            // Deeper than the stack: a defined stop, never a write past it.
            if (depth == kBencodeMaxDepth) return stopAt(at, BencodeStop::TooDeep);
            kind[++depth] = c == 'd' ? kDictionary : kList;
            valueNext = false;
            break;
        case 'i': {
            BencodeCursor cursor{data, length, position};
            ReadBencodeNumber(cursor);
            if (kind[depth] == kDictionary) valueNext = !valueNext;
            break;
        }
        case 'e':
            if (depth == 0) return stopAt(at, BencodeStop::ExtraEnd);
            --depth;
            valueNext = false;
            // Whatever follows the top-level dictionary is not part of the torrent.
            if (depth == 0 && topEnd == 0 && startsWithDictionary) topEnd = position;
            if (depth == infoDepth) {
                infoDepth = -1;
                result = 1;
                sink.OnInfoClosed(infoStart, position, nameFound);
            }
            break;
        default: {
            if (c < '0' || c > '9') return stopAt(at, BencodeStop::UnknownByte);
            position = at;
            BencodeCursor cursor{data, length, position};
            const int32_t count = ReadBencodeNumber(cursor);
            // A negative or wrapped length would put the string's end before its start.
            if (cursor.negative || cursor.overflow) return stopAt(at, BencodeStop::BadLength);
            const uint32_t start = position;
            if (static_cast<uint32_t>(count) > length - start) return stopAt(at, BencodeStop::StringPastEnd);
            position = start + static_cast<uint32_t>(count);
            const uint8_t* text = data + start;
            const uint32_t n = static_cast<uint32_t>(count);
            if (valueNext) {
                if (depth == 2 && infoDepth == 1 && (SameBytes(lastKey, lastKeyLength, "name", 4) ||
                                                     SameBytes(lastKey, lastKeyLength, "name.utf-8", 10))) {
                    sink.OnName(text, n);
                    nameFound = true;
                }
            } else {
                lastKey = text;
                lastKeyLength = n;
                if (depth == 1 && topEnd == 0 && startsWithDictionary && SameBytes(text, n, "info", 4) &&
                    position < length && data[position] == 'd') {
                    infoStart = position;
                    infoDepth = 1;
                }
            }
            if (kind[depth] == kDictionary) valueNext = !valueNext;
            break;
        }
        }
    }
    return stopAt(position, BencodeStop::End);
}
