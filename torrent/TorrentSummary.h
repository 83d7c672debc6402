// Everything one scan of a torrent's bytes leaves for the form, worked out in one pass and
// without the form: the name to show, the info-hash of the last info dictionary, the name that
// stood at its close, and the ed2k digest of the whole buffer.  Portable; the Win32 side only
// decodes the names and writes the fields, each at most once.
#pragma once

#include <cstdint>

#include "hash/Sha1.h"
#include "torrent/BencodeScan.h"

// A name value as it lies in the data (not yet decoded); `met` is false when there is none.
struct TorrentName {
    const uint8_t* text;
    uint32_t count;
    bool met;
};

struct TorrentSummary {
    BencodeScanResult walk;  // walk.result is 1 once an info dictionary has closed
    // The last name met in the whole scan: what the name field ends with.  When none was met
    // and an info dictionary closed, the field ends empty; when neither, it keeps its text.
    TorrentName name;
    // Only when walk.result is 1; all of it describes the last info dictionary to close.
    TorrentName nameAtClose;  // the last name met before that close: what the field showed then
    uint32_t infoStart, infoEnd;
    Sha1Context sha1;         // sha1.h is the info-hash of data[infoStart, infoEnd)
    uint32_t ed2k[4];         // the ed2k digest of all `length` bytes
};

// The walk, then SHA-1 over the last info span and ed2k over the buffer, once each, so a scan
// costs time linear in `length` whatever the shape of the data: a file that closes an info
// dictionary every few bytes is no dearer than any other of its size.
void SummarizeTorrent(const uint8_t* data, uint32_t length, TorrentSummary& summary);

// Whether the summarised bytes are one whole torrent, and the one named `infoHash` (SHA-1 state
// words): the dictionary they start with closes within them, and the info dictionary that the
// scan shows hashes to `infoHash`.  Bytes after the torrent's close are no part of it.
bool IsWholeTorrentFor(const TorrentSummary& summary, const uint32_t infoHash[5]);
