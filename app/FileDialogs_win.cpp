// Placeholder until the file dialogs land.
#include "app/LinkDialog.h"

BOOL LinkDialog::ChooseFile(bool, bool) { return FALSE; }
