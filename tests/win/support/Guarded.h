// Bytes placed flush against a PAGE_NOACCESS page, so that any read outside them faults; such a
// fault ends the test process at once with a line that says where it was.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class Guarded {
public:
    // [no access][the bytes' pages][no access]; the bytes end at the rear guard, or begin
    // right after the front one.
    Guarded(const std::string& bytes, bool atEnd);
    ~Guarded();
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;

    const uint8_t* data() const { return data_; }
    uint32_t size() const { return uint32_t(size_); }

    // What the bytes are, for the fault's line.
    static std::string label;

private:
    static LONG CALLBACK OnFault(EXCEPTION_POINTERS* e);

    static Guarded* current;
    size_t size_, page_, inner_;
    uint8_t* base_;
    uint8_t* data_;
};
