// Placeholder until torrent scanning lands.
#include "app/LinkDialog.h"

int LinkDialog::ScanTorrent(const uint8_t*, uint32_t) { return 0; }
void LinkDialog::LoadTorrentFile(const wchar_t*) {}
