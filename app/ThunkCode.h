// Machine code of the stubs that route a dialog procedure call to LinkDialog::HandleMessage.
#pragma once

#include <cstdint>

constexpr int kThunkI686Size = 13;
constexpr int kThunkX64Size = 22;

// i686: mov dword [esp+4], object ; jmp rel32 handler.  The jump is relative to the byte
// after the stub, so the stub's own final address must be known when it is written.
void WriteThunkI686(uint8_t out[kThunkI686Size], uint32_t object, uint32_t handler, uint32_t thunkAddress);

// x86_64: mov rcx, object ; mov rax, handler ; jmp rax.  The window handle arrives in rcx
// and `this` is expected there, so replacing rcx is all the binding needs.
void WriteThunkX64(uint8_t out[kThunkX64Size], uint64_t object, uint64_t handler);
