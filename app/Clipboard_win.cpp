// Placeholder until the clipboard commands land.
#include "app/LinkDialog.h"

void LinkDialog::CopyFieldToClipboard(int) {}
void LinkDialog::PasteFieldFromClipboard(int) {}
