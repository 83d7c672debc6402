// Placeholder until the hash text reader lands.
#include "app/LinkDialog.h"

void LinkDialog::OnLinkEdited(int) {}
