// Placeholder until the download worker lands.
#include "app/LinkDialog.h"

void LinkDialog::StartDownload() {}
