// Threads, sleeping and the wall and virtual clocks of clock.h over POSIX
// threads and the standard library (the desktop backend).

#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <vector>

namespace {

std::uint64_t wallNs() {
    static const auto origin = std::chrono::steady_clock::now();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - origin).count());
}

// A thread asleep on the virtual clock. The driver marks it woken (and counts
// it as running) before it notifies, so it cannot miss the time it is due.
struct Sleeper {
    std::uint64_t deadline;
    bool woken = false;
};

struct VirtualClock {
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<bool> active{false};
    std::uint64_t now = 0;
    std::uint64_t frameStep = 0;
    std::thread::id driver;
    int running = 0; // threads of ours that are awake and not yet asleep again
    std::vector<Sleeper*> sleepers;
};

// Never destroyed: threads still asleep on it when the process exits (the
// show ends through exit() with its audio thread waiting for the next block)
// would otherwise block the exit handlers in the condition's destruction.
VirtualClock& vclock() {
    static VirtualClock* clock = new VirtualClock;
    return *clock;
}

bool onDriver(VirtualClock& c) {
    return std::this_thread::get_id() == c.driver;
}

// Moves time and waits for the threads that became due. Caller holds the lock.
void advanceLocked(VirtualClock& c, std::unique_lock<std::mutex>& lock, std::uint64_t ns) {
    c.now += ns;
    auto due = [&](Sleeper* s) { return s->deadline <= c.now; };
    for (Sleeper* s : c.sleepers) {
        if (due(s)) {
            s->woken = true;
            ++c.running;
        }
    }
    c.sleepers.erase(std::remove_if(c.sleepers.begin(), c.sleepers.end(), due), c.sleepers.end());
    c.changed.notify_all();
    c.changed.wait(lock, [&] { return c.running == 0; });
}

struct Thread {
    std::thread thread;
    bool virtualTime = false;
};

struct StartBlock {
    LPTHREAD_START_ROUTINE start;
    LPVOID parameter;
    bool virtualTime;
};

void threadBody(StartBlock block) {
    block.start(block.parameter);
    if (block.virtualTime) {
        VirtualClock& c = vclock();
        std::lock_guard lock(c.mutex);
        --c.running;
        c.changed.notify_all();
    }
}

} // namespace

namespace platform::kernel {

void useVirtualClock(std::uint64_t frameStepNs) {
    VirtualClock& c = vclock();
    std::lock_guard lock(c.mutex);
    c.now = 0;
    c.frameStep = frameStepNs;
    c.driver = std::this_thread::get_id();
    c.running = 0;
    c.sleepers.clear();
    c.active.store(true, std::memory_order_release);
}

void useWallClock() {
    VirtualClock& c = vclock();
    std::lock_guard lock(c.mutex);
    c.active.store(false, std::memory_order_release);
}

bool virtualClockActive() {
    return vclock().active.load(std::memory_order_acquire);
}

std::uint64_t clockNowNs() {
    VirtualClock& c = vclock();
    if (!c.active.load(std::memory_order_acquire)) {
        return wallNs();
    }
    std::lock_guard lock(c.mutex);
    return c.now;
}

std::uint64_t readClockNs() {
    VirtualClock& c = vclock();
    if (!c.active.load(std::memory_order_acquire)) {
        return wallNs();
    }
    std::unique_lock lock(c.mutex);
    if (onDriver(c)) {
        advanceLocked(c, lock, platform::kernel::kClockReadStepNs);
    }
    return c.now;
}

void advanceVirtualFrame() {
    advanceVirtualClock(virtualFrameStepNs());
}

void advanceVirtualClock(std::uint64_t ns) {
    VirtualClock& c = vclock();
    std::unique_lock lock(c.mutex);
    if (c.active.load(std::memory_order_relaxed)) {
        advanceLocked(c, lock, ns);
    }
}

std::uint64_t virtualFrameStepNs() {
    VirtualClock& c = vclock();
    std::lock_guard lock(c.mutex);
    return c.frameStep;
}

} // namespace platform::kernel

void Sleep(DWORD milliseconds) {
    VirtualClock& c = vclock();
    const std::uint64_t ns = static_cast<std::uint64_t>(milliseconds) * 1'000'000;
    if (!c.active.load(std::memory_order_acquire)) {
        if (milliseconds == 0) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::nanoseconds(ns));
        }
        return;
    }
    std::unique_lock lock(c.mutex);
    if (onDriver(c)) {
        advanceLocked(c, lock, ns);
        return;
    }
    Sleeper self{c.now + ns};
    c.sleepers.push_back(&self);
    --c.running;
    c.changed.notify_all();
    c.changed.wait(lock, [&] { return self.woken; });
}

HANDLE CreateThread(SECURITY_ATTRIBUTES*, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD creationFlags,
                    LPDWORD threadId) {
    if (start == nullptr || creationFlags != 0) {
        OutputDebugStringA("CreateThread: only immediate start without flags is provided\n");
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* t = new Thread;
    VirtualClock& c = vclock();
    t->virtualTime = c.active.load(std::memory_order_acquire);
    if (t->virtualTime) {
        // Counted as running from now on, so the driver waits for its first sleep.
        std::lock_guard lock(c.mutex);
        ++c.running;
    }
    static std::atomic<DWORD> nextId{1};
    DWORD id = nextId.fetch_add(1);
    t->thread = std::thread(threadBody, StartBlock{start, parameter, t->virtualTime});
    if (threadId != nullptr) {
        *threadId = id;
    }
    return t;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
    if (thread == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (priority >= THREAD_PRIORITY_HIGHEST) {
        auto* t = static_cast<Thread*>(thread);
        sched_param param{};
        param.sched_priority = priority == THREAD_PRIORITY_TIME_CRITICAL ? sched_get_priority_max(SCHED_RR)
                                                                         : sched_get_priority_min(SCHED_RR);
        // Refused without the right to raise priority; the thread keeps running normally.
        pthread_setschedparam(t->thread.native_handle(), SCHED_RR, &param);
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    auto* t = static_cast<Thread*>(handle);
    if (milliseconds != INFINITE) {
        OutputDebugStringA("WaitForSingleObject: only INFINITE waits are provided\n");
        SetLastError(ERROR_NOT_SUPPORTED);
        return WAIT_FAILED;
    }
    if (t->thread.joinable()) {
        t->thread.join();
    }
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto* t = static_cast<Thread*>(handle);
    if (t->thread.joinable()) {
        t->thread.detach();
    }
    delete t;
    return TRUE;
}
