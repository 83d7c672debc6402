// Steps handed from a worker thread to the UI thread.
#include "app/UiStep.h"

#include <cwchar>

namespace {

constexpr DWORD kWindowCheckMs = 100;
// A queue that refuses a post (10,000 messages waiting: a flood, or a UI thread that hung for a
// moment), a full table, or no event to be had, is tried again after this.
constexpr DWORD kRetryMs = 20;

// Every step announced in the process.  A step is in the table from its announcement until it is
// finished or withdrawn, and only so long may the UI thread read it; the lock makes taking and
// withdrawing one exclusive.  Far more places than there are workers at any moment.
struct Announcement {
    UiStep* step;  // nullptr: a free place
    bool taken;    // by the UI thread: its worker waits for it to finish
    bool kept;     // waits for RepostKeptSteps
    ULONG order;   // of keeping
};
constexpr int kPlaces = 64;
Announcement announcements[kPlaces];
SRWLOCK announcementLock = SRWLOCK_INIT;
ULONG keptCount = 0;

class Locked {
public:
    Locked() { AcquireSRWLockExclusive(&announcementLock); }
    ~Locked() { ReleaseSRWLockExclusive(&announcementLock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

// Compares addresses only, so any lParam may be looked up.
Announcement* Find(const UiStep* step) {
    for (Announcement& a : announcements)
        if (a.step == step) return &a;
    return nullptr;
}

bool Announce(UiStep& step) {
    Locked locked;
    Announcement* place = Find(nullptr);
    if (place) *place = {&step, false, false, 0};
    return place != nullptr;
}

// True when the announcement was withdrawn; false when the UI thread has the step, which it will
// finish whatever happens to the window.
bool Withdraw(UiStep& step) {
    Locked locked;
    Announcement* a = Find(&step);
    if (!a || a->taken) return false;
    a->step = nullptr;
    return true;
}

}  // namespace

bool HandOverStep(HWND window, const wchar_t* name, UINT message, UiStep& step) {
    step.window = window;
    step.name = name;
    step.message = message;
    while (!(step.done = CreateEventW(nullptr, TRUE, FALSE, nullptr))) {
        if (!IsWindow(window)) return false;
        Sleep(kRetryMs);
    }
    bool announced = false, posted = false, finished = false;
    for (;;) {
        if (!announced) announced = Announce(step);
        if (announced && !posted) posted = PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(&step)) != FALSE;
        if (WaitForSingleObject(step.done, posted ? kWindowCheckMs : kRetryMs) == WAIT_OBJECT_0) {
            finished = true;
            break;
        }
        // A window destroyed before the UI thread took the step drops the message with it.
        if (!IsWindow(window) && (!announced || Withdraw(step))) break;
    }
    CloseHandle(step.done);
    return finished;
}

UiStep* TakeStep(HWND window, const wchar_t* name, LPARAM param) {
    if (param == 0) return nullptr;
    Locked locked;
    Announcement* a = Find(reinterpret_cast<UiStep*>(param));
    // Announced, the step is there to be read.
    if (!a || a->taken || a->step->window != window || std::wcscmp(a->step->name, name) != 0) return nullptr;
    a->taken = true;
    a->kept = false;
    return a->step;
}

void FinishStep(UiStep& step) {
    {
        Locked locked;
        if (Announcement* a = Find(&step)) a->step = nullptr;
    }
    SetEvent(step.done);
}

void KeepStep(UiStep& step) {
    Locked locked;
    if (Announcement* a = Find(&step)) {
        a->taken = false;
        a->kept = true;
        a->order = ++keptCount;
    }
}

bool RepostKeptSteps(HWND window) {
    Locked locked;
    for (;;) {
        Announcement* first = nullptr;
        for (Announcement& a : announcements)
            if (a.step && a.kept && a.step->window == window && (!first || LONG(a.order - first->order) < 0)) first = &a;
        if (!first) return true;
        if (!PostMessageW(window, first->step->message, 0, reinterpret_cast<LPARAM>(first->step))) return false;
        first->kept = false;
    }
}
