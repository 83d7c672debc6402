// Resource and control identifiers shared by the resource script and the code.
#pragma once

// The title shows the version as the version resource states it.
#define VELQUOR_VERSION 15, 12, 29, 1052
#define VELQUOR_VERSION_TEXT "15.12.29.1052"

#define IDD_MAIN 1
#define IDI_MAIN 1

#define IDC_ED2K_LINK 1000
#define IDC_LONG_LINK 1001
#define IDC_SHORT_LINK 1002
#define IDC_NAME 1003
#define IDC_COPY_ED2K 1004
#define IDC_COPY_LONG 1005
#define IDC_COPY_SHORT 1006
#define IDC_COPY_NAME 1007
#define IDC_PASTE_LONG 1008
#define IDC_PASTE_SHORT 1009
#define IDC_BROWSE 1010
#define IDC_OPEN_TORRENT 1011
#define IDC_DOWNLOAD 1012
#define IDC_TOPMOST 1013
