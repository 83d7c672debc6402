// Byte layouts of the dialog thunks; kept free of Windows so any build can check them.
#include "app/ThunkCode.h"

namespace {

void PutLe(uint8_t* p, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

void WriteThunkI686(uint8_t out[kThunkI686Size], uint32_t object, uint32_t handler, uint32_t thunkAddress) {
    out[0] = 0xC7;  // mov dword [esp+4], imm32
    out[1] = 0x44;
    out[2] = 0x24;
    out[3] = 0x04;
    PutLe(out + 4, object, 4);
    out[8] = 0xE9;  // jmp rel32
    PutLe(out + 9, uint32_t(handler - (thunkAddress + kThunkI686Size)), 4);
}

void WriteThunkX64(uint8_t out[kThunkX64Size], uint64_t object, uint64_t handler) {
    out[0] = 0x48;  // mov rcx, imm64
    out[1] = 0xB9;
    PutLe(out + 2, object, 8);
    out[10] = 0x48;  // mov rax, imm64
    out[11] = 0xB8;
    PutLe(out + 12, handler, 8);
    out[20] = 0xFF;  // jmp rax
    out[21] = 0xE0;
}
