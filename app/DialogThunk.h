// The per-object stub installed as the dialog procedure; its form is the one thing that
// differs between the i686 release and the x86_64 build.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/ThunkCode.h"

class LinkDialog;

#if defined(_M_IX86) || defined(__i386__)
// The code itself lives in the object, which lives on the dialog runner's stack; this is
// why the release is linked without the NX-compatible mark.
#pragma pack(push, 1)
struct DialogThunk {
    uint8_t code[kThunkI686Size];
};
#pragma pack(pop)
static_assert(sizeof(DialogThunk) == 13, "the i686 thunk is exactly 13 bytes");
#elif defined(_M_X64) || defined(__x86_64__)
// A 64-bit process cannot execute its stack, so the stub goes into a page of its own.
struct DialogThunk {
    uint8_t* code;
};
#else
#error "the dialog thunk is written for i686 and x86_64 only"
#endif

// Writes the stub for `object` (its HandleMessage from vtable slot 0) and returns it as a
// dialog procedure; returns nullptr if no executable memory could be had.
DLGPROC BindDialogThunk(DialogThunk& thunk, LinkDialog* object);

// Gives back whatever BindDialogThunk took; safe to call once the dialog has ended.
void ReleaseDialogThunk(DialogThunk& thunk);
