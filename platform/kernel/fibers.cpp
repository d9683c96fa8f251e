// Threads, sleeping and the wall and virtual clocks of clock.h for the browser
// backend. A browser tab runs the module on one thread, and the show's frame
// loop never returns, so threads are cooperative fibers (emscripten_fiber_*,
// built on Asyncify): a fiber runs until it sleeps, waits or ends, and only
// then does another one run. When no fiber is due on the wall clock, the
// running one hands the tab back to the browser (emscripten_sleep) until the
// nearest wake-up time, so pages stay responsive and timers, audio callbacks
// and input events run. Plain static servers suffice: no shared memory, so no
// cross-origin isolation headers.
//
// Ownership: a Fiber is created by CreateThread and freed once it has ended
// and its handle is closed, always by another fiber (a fiber cannot free the
// stack it runs on). The page's own context (the program's main) is a Fiber
// that is never freed.

#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"

#include <emscripten.h>
#include <emscripten/fiber.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <memory>
#include <vector>

namespace {

// The C stack of a fiber when CreateThread is given no size, as on the
// platform (1 MB), and the room for its wasm call stack while it is switched
// out (locals of the frames between the fiber's entry and its sleep).
constexpr std::size_t kDefaultStackBytes = 1 << 20;
constexpr std::size_t kAsyncifyStackBytes = 128 << 10;
constexpr std::uint64_t kNever = ~std::uint64_t{0};

struct Fiber {
    emscripten_fiber_t context{};
    std::unique_ptr<std::byte[]> stack;
    std::unique_ptr<std::byte[]> asyncifyStack = std::make_unique<std::byte[]>(kAsyncifyStackBytes);
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;
    // Due to run again when the clock reaches wakeNs, or, while it waits for
    // another fiber (joining), when that one has ended.
    std::uint64_t wakeNs = 0;
    const Fiber* joining = nullptr;
    bool finished = false;
    bool handleClosed = false;
    std::uint64_t round = 0; // the last move of virtual time this fiber ran in
    DWORD lastError = ERROR_SUCCESS;
};

struct Scheduler {
    Fiber page; // the context the module started on
    bool pageReady = false;
    Fiber* current = &page;
    std::vector<Fiber*> fibers; // created by CreateThread, not yet freed, in creation order
    std::size_t cursor = 0;     // where the round-robin search for the next fiber starts
    bool virtualActive = false;
    std::uint64_t now = 0; // virtual time
    std::uint64_t frameStep = 0;
    std::uint64_t round = 0; // counts the driver's moves of virtual time
    Fiber* driver = nullptr;
};

Scheduler& scheduler() {
    static Scheduler* s = new Scheduler; // never destroyed: fibers may still be asleep at exit
    return *s;
}

std::uint64_t wallNs() {
    static const auto origin = std::chrono::steady_clock::now();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - origin).count());
}

std::uint64_t nowNs(const Scheduler& s) {
    return s.virtualActive ? s.now : wallNs();
}

bool due(const Fiber& f, std::uint64_t now) {
    if (f.finished) {
        return false;
    }
    return f.joining != nullptr ? f.joining->finished : f.wakeNs <= now;
}

// Frees fibers that have ended and whose handles are closed (never the running one).
void reclaim(Scheduler& s) {
    auto gone = [&](Fiber* f) { return f->finished && f->handleClosed && f != s.current; };
    for (Fiber* f : s.fibers) {
        if (gone(f)) {
            delete f;
        }
    }
    s.fibers.erase(std::remove_if(s.fibers.begin(), s.fibers.end(), gone), s.fibers.end());
    s.cursor = 0;
}

// Suspends the running fiber and resumes next; returns when the running fiber
// is switched back to. The last-error code travels with each fiber.
void switchTo(Scheduler& s, Fiber* next) {
    Fiber* self = s.current;
    if (next == self) {
        return;
    }
    if (self == &s.page && !s.pageReady) {
        emscripten_fiber_init_from_current_context(&s.page.context, s.page.asyncifyStack.get(), kAsyncifyStackBytes);
        s.pageReady = true;
    }
    self->lastError = GetLastError();
    s.current = next;
    emscripten_fiber_swap(&self->context, &next->context);
    SetLastError(s.current->lastError);
}

// The next fiber other than the running one that is due at now, round robin,
// the page included; nullptr when none is.
Fiber* nextDue(Scheduler& s, std::uint64_t now) {
    const std::size_t count = s.fibers.size() + 1; // slot count is the page
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t slot = (s.cursor + i) % count;
        Fiber* f = slot < s.fibers.size() ? s.fibers[slot] : &s.page;
        if (f != s.current && due(*f, now)) {
            s.cursor = slot + 1;
            return f;
        }
    }
    return nullptr;
}

// Virtual time: runs each fiber (other than the driver) that is due, once,
// until it sleeps or ends; one that sleeps with a wake time already reached
// waits for the next move of time, as in threads.cpp. Driver only.
void runDueFibers(Scheduler& s) {
    ++s.round;
    bool ran = true;
    while (ran) {
        ran = false;
        for (std::size_t i = 0; i < s.fibers.size(); ++i) {
            Fiber* f = s.fibers[i];
            if (f != s.driver && f->round != s.round && due(*f, s.now)) {
                f->round = s.round;
                switchTo(s, f);
                ran = true;
            }
        }
    }
    reclaim(s);
}

void advance(Scheduler& s, std::uint64_t ns) {
    s.now += ns;
    runDueFibers(s);
}

// Blocks the running fiber until it is due again (its wake time or the fiber
// it joins). On the virtual clock a fiber other than the driver goes back to
// the driver, which runs the due fibers in turn. On the wall clock the other
// due fibers run; when none is, the tab goes back to the browser until the
// nearest wake-up time.
void block(Scheduler& s) {
    Fiber* self = s.current;
    while (true) {
        if (s.virtualActive && self != s.driver) {
            switchTo(s, s.driver);
        } else {
            const std::uint64_t now = nowNs(s);
            if (due(*self, now)) {
                return;
            }
            if (Fiber* f = nextDue(s, now)) {
                switchTo(s, f);
                continue;
            }
            std::uint64_t nearest = kNever;
            for (const Fiber* f : s.fibers) {
                if (!f->finished && f->joining == nullptr) {
                    nearest = std::min(nearest, f->wakeNs);
                }
            }
            if (!s.page.finished && s.page.joining == nullptr) {
                nearest = std::min(nearest, s.page.wakeNs);
            }
            const std::uint64_t waitNs = nearest == kNever ? 1'000'000'000 : nearest - std::min(nearest, now);
            emscripten_sleep(static_cast<unsigned>((waitNs + 999'999) / 1'000'000));
        }
        if (due(*self, nowNs(s))) {
            return;
        }
    }
}

void fiberEntry(void* argument) {
    auto* f = static_cast<Fiber*>(argument);
    SetLastError(f->lastError); // a new thread starts without the creator's code
    f->start(f->parameter);
    f->finished = true;
    // Ended fibers are never due again: this blocks for good, and the fiber
    // is freed by another once its handle is closed.
    block(scheduler());
}

} // namespace

namespace platform::kernel {

void useVirtualClock(std::uint64_t frameStepNs) {
    Scheduler& s = scheduler();
    s.now = 0;
    s.frameStep = frameStepNs;
    s.driver = s.current;
    s.virtualActive = true;
}

void useWallClock() {
    scheduler().virtualActive = false;
}

bool virtualClockActive() {
    return scheduler().virtualActive;
}

std::uint64_t clockNowNs() {
    return nowNs(scheduler());
}

std::uint64_t readClockNs() {
    Scheduler& s = scheduler();
    if (s.virtualActive && s.current == s.driver) {
        advance(s, kClockReadStepNs);
    }
    return nowNs(s);
}

void advanceVirtualFrame() {
    advanceVirtualClock(virtualFrameStepNs());
}

void advanceVirtualClock(std::uint64_t ns) {
    Scheduler& s = scheduler();
    if (s.virtualActive) {
        advance(s, ns);
    }
}

std::uint64_t virtualFrameStepNs() {
    return scheduler().frameStep;
}

} // namespace platform::kernel

void Sleep(DWORD milliseconds) {
    Scheduler& s = scheduler();
    const std::uint64_t ns = static_cast<std::uint64_t>(milliseconds) * 1'000'000;
    if (s.virtualActive && s.current == s.driver) {
        advance(s, ns);
        return;
    }
    Fiber* self = s.current;
    self->wakeNs = nowNs(s) + ns;
    if (milliseconds == 0 && !s.virtualActive) {
        // A yield: the others that are due run, and the browser gets its turn.
        if (Fiber* f = nextDue(s, nowNs(s))) {
            switchTo(s, f);
        } else {
            emscripten_sleep(0);
        }
        return;
    }
    block(s);
}

HANDLE CreateThread(SECURITY_ATTRIBUTES*, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD creationFlags, LPDWORD threadId) {
    if (start == nullptr || creationFlags != 0) {
        OutputDebugStringA("CreateThread: only immediate start without flags is provided\n");
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Scheduler& s = scheduler();
    const std::size_t bytes = stackSize != 0 ? stackSize : kDefaultStackBytes;
    auto* f = new Fiber;
    f->stack = std::make_unique<std::byte[]>(bytes);
    f->start = start;
    f->parameter = parameter;
    // Due at once: it runs when the creator next sleeps or waits (on the
    // virtual clock, at the driver's next move of time, before it goes on).
    f->wakeNs = nowNs(s);
    emscripten_fiber_init(&f->context, fiberEntry, f, f->stack.get(), bytes, f->asyncifyStack.get(),
                          kAsyncifyStackBytes);
    s.fibers.push_back(f);
    static DWORD nextId = 1;
    if (threadId != nullptr) {
        *threadId = nextId;
    }
    ++nextId;
    return f;
}

BOOL SetThreadPriority(HANDLE thread, int) {
    // Fibers are scheduled in turn; there is no priority to raise.
    if (thread == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (milliseconds != INFINITE) {
        OutputDebugStringA("WaitForSingleObject: only INFINITE waits are provided\n");
        SetLastError(ERROR_NOT_SUPPORTED);
        return WAIT_FAILED;
    }
    Scheduler& s = scheduler();
    auto* target = static_cast<Fiber*>(handle);
    if (s.virtualActive && s.current == s.driver) {
        // Time moves only when the driver moves it: a thread asleep on it
        // would never end (threads.cpp would wait for ever).
        runDueFibers(s);
        if (!target->finished) {
            OutputDebugStringA(
                "WaitForSingleObject: the thread sleeps on the virtual clock, which only the waiter moves\n");
            SetLastError(ERROR_NOT_SUPPORTED);
            return WAIT_FAILED;
        }
        return WAIT_OBJECT_0;
    }
    Fiber* self = s.current;
    self->joining = target;
    block(s);
    self->joining = nullptr;
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    static_cast<Fiber*>(handle)->handleClosed = true;
    reclaim(scheduler());
    return TRUE;
}
