// The two torrent cache servers the download worker asks, primary (HTTP) then backup (HTTPS).
#pragma once

struct DownloadServers {
    const wchar_t* primaryHost;  // "http://" host "/%02X/%02X/<40 hex>.torrent"
    const wchar_t* backupHost;   // "https://" host "/torrent/<40 hex>.torrent"
    unsigned long silenceMs;     // how long either may keep silent before it counts as gone
};

// The compiled-in table.  Users have no way to change it; the tests point this at servers of
// their own on 127.0.0.1 before they press the button, and put it back afterwards.
extern const DownloadServers kCacheServers;
extern const DownloadServers* downloadServers;
