// Guard pages around test input, and the fault handler that reports a read outside it.
#include "support/Guarded.h"

#include <cstdio>
#include <cstring>

Guarded* Guarded::current = nullptr;
std::string Guarded::label;

Guarded::Guarded(const std::string& bytes, bool atEnd) : size_(bytes.size()) {
    static const PVOID handler = AddVectoredExceptionHandler(1, OnFault);
    (void)handler;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    page_ = si.dwPageSize;
    inner_ = (bytes.size() + page_ - 1) / page_ * page_;
    if (inner_ == 0) inner_ = page_;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, inner_ + 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_, page_, PAGE_NOACCESS, &old);
    VirtualProtect(base_ + page_ + inner_, page_, PAGE_NOACCESS, &old);
    data_ = atEnd ? base_ + page_ + inner_ - size_ : base_ + page_;
    std::memcpy(data_, bytes.data(), size_);
    current = this;
}

Guarded::~Guarded() {
    current = nullptr;
    VirtualFree(base_, 0, MEM_RELEASE);
}

// A fault in a guard page ends the run at once, saying where it was.
LONG CALLBACK Guarded::OnFault(EXCEPTION_POINTERS* e) {
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    if (!current || r->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || r->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const uint8_t* at = reinterpret_cast<const uint8_t*>(r->ExceptionInformation[1]);
    if (at < current->base_ || at >= current->base_ + current->inner_ + 2 * current->page_)
        return EXCEPTION_CONTINUE_SEARCH;
    std::fprintf(stderr, "\nFAULT: access at offset %lld of a %u-byte input (%s)\n",
                 static_cast<long long>(at - current->data_), unsigned(current->size_), label.c_str());
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}
