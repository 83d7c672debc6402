// The tree-less walk over bencoded bytes that finds a torrent's name and the raw span of its
// info dictionary.  Portable: the Win32 side turns its events into form writes.
#pragma once

#include <cstdint>

// What ReadBencodeNumber works on.  `negative` and `overflow` describe the number read last:
// a "-" anywhere in its run, or a magnitude beyond 2,147,483,647 (where the 32-bit value wraps).
struct BencodeCursor {
    const uint8_t* data;
    uint32_t length;
    uint32_t& position;
    bool negative = false;
    bool overflow = false;
};

// Reads digits from position on, with "-" anywhere setting the sign, and consumes the one byte
// after them (normally "e" or ":").  At the end of the data nothing more is consumed.
int32_t ReadBencodeNumber(BencodeCursor& cursor);

class BencodeSink {
public:
    // The value of the key `name` or `name.utf-8` in the top-level info dictionary; `text` points
    // into the data.
    virtual void OnName(const uint8_t* text, uint32_t count) = 0;
    // The dictionary under the top-level dictionary's `info` key has closed: its bytes are
    // data[start, end), the last one being the closing "e".  `nameFound` tells whether OnName ran
    // earlier in this scan.
    virtual void OnInfoClosed(uint32_t start, uint32_t end, bool nameFound) = 0;

protected:
    ~BencodeSink() = default;
};

enum class BencodeStop {
    End,            // every byte was read
    UnknownByte,    // a byte that starts no item
    StringPastEnd,  // a string longer than what is left
    BadLength,      // a negative string length, or one beyond 32 bits
    TooDeep,        // a container that would open a 128th level
    ExtraEnd,       // an "e" with no open container
};

struct BencodeScanResult {
    int result;         // 1 once an info dictionary has closed
    uint32_t position;  // data[0, position) was accepted; the stop is at `position`
    BencodeStop stop;
    uint32_t topEnd;    // data[0, topEnd) is the dictionary the data starts with; 0 if there is none
                        // or it never closed
};

constexpr int kBencodeMaxDepth = 127;

BencodeScanResult ScanBencode(const uint8_t* data, uint32_t length, BencodeSink& sink);
