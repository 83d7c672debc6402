// Writes the dialog thunk where the platform can execute it and flushes it.
#include "app/DialogThunk.h"

#include "app/LinkDialog.h"

namespace {

// HandleMessage as the object's own virtual table has it, so a derived class's override
// is what the thunk reaches.
uintptr_t HandlerOf(LinkDialog* object) {
    void** vtable = *reinterpret_cast<void***>(object);
    return reinterpret_cast<uintptr_t>(vtable[0]);
}

}  // namespace

#if defined(_M_IX86) || defined(__i386__)

DLGPROC BindDialogThunk(DialogThunk& thunk, LinkDialog* object) {
    uintptr_t at = reinterpret_cast<uintptr_t>(thunk.code);
    WriteThunkI686(thunk.code, uint32_t(reinterpret_cast<uintptr_t>(object)), uint32_t(HandlerOf(object)),
                   uint32_t(at));
    FlushInstructionCache(GetCurrentProcess(), thunk.code, sizeof thunk.code);
    return reinterpret_cast<DLGPROC>(thunk.code);
}

void ReleaseDialogThunk(DialogThunk&) {}

#else

DLGPROC BindDialogThunk(DialogThunk& thunk, LinkDialog* object) {
    thunk.code = static_cast<uint8_t*>(VirtualAlloc(nullptr, kThunkX64Size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!thunk.code) return nullptr;
    WriteThunkX64(thunk.code, reinterpret_cast<uintptr_t>(object), HandlerOf(object));
    DWORD old;
    if (!VirtualProtect(thunk.code, kThunkX64Size, PAGE_EXECUTE_READ, &old)) {
        ReleaseDialogThunk(thunk);
        return nullptr;
    }
    FlushInstructionCache(GetCurrentProcess(), thunk.code, kThunkX64Size);
    return reinterpret_cast<DLGPROC>(thunk.code);
}

void ReleaseDialogThunk(DialogThunk& thunk) {
    if (thunk.code) VirtualFree(thunk.code, 0, MEM_RELEASE);
    thunk.code = nullptr;
}

#endif
