// Placeholder until ed2k links land.
#include "app/LinkDialog.h"

void LinkDialog::WriteEd2kLink(const wchar_t*, uint64_t, const uint32_t*) {}
void LinkDialog::HashFileForEd2k(const wchar_t*) {}
