// The browser's threads are fibers that switch only when one sleeps or waits:
// cases the desktop's threads never meet (a thread that yields with Sleep(0)
// on the virtual clock, a wait that could never end, exceptions thrown in a
// fiber after it was switched out and back in).

#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Trace {
    std::vector<std::string> events;
};

struct Ticker {
    Trace* trace;
    const char* name;
    DWORD periodMs;
    int count;
};

DWORD tick(LPVOID p) {
    auto* t = static_cast<Ticker*>(p);
    for (int i = 0; i < t->count; ++i) {
        Sleep(t->periodMs);
        t->trace->events.push_back(t->name);
    }
    return 0;
}

TEST(Fibers, WallClockSleepsInterleaveByWakeTime) {
    // a wakes at 10, 20, 30 ms, b at 150 ms and 300 ms: while the page and b
    // wait, a runs (the margins leave room for late timers on a busy machine).
    Trace trace;
    Ticker a{&trace, "a", 10, 3};
    Ticker b{&trace, "b", 150, 2};
    HANDLE ta = CreateThread(nullptr, 0, tick, &a, 0, nullptr);
    HANDLE tb = CreateThread(nullptr, 0, tick, &b, 0, nullptr);
    ASSERT_NE(ta, nullptr);
    ASSERT_NE(tb, nullptr);
    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(tb, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(ta, INFINITE), WAIT_OBJECT_0);
    EXPECT_GE(GetTickCount() - start, 299u);
    EXPECT_EQ(trace.events, (std::vector<std::string>{"a", "a", "a", "b", "b"}));
    EXPECT_TRUE(CloseHandle(ta));
    EXPECT_TRUE(CloseHandle(tb));
}

struct Thrower {
    std::string caught;
    DWORD errorAfterSleep = 0;
};

DWORD throwAfterSleep(LPVOID p) {
    auto* t = static_cast<Thrower*>(p);
    SetLastError(ERROR_FILE_NOT_FOUND);
    try {
        Sleep(10);
        t->errorAfterSleep = GetLastError();
        throw std::runtime_error("from the fiber");
    } catch (const std::runtime_error& e) {
        t->caught = e.what();
    }
    return 0;
}

TEST(Fibers, ExceptionsAndLastErrorSurviveSwitches) {
    Thrower thrower;
    HANDLE t = CreateThread(nullptr, 0, throwAfterSleep, &thrower, 0, nullptr);
    ASSERT_NE(t, nullptr);
    SetLastError(ERROR_INVALID_PARAMETER);
    std::string caughtHere;
    try {
        Sleep(20); // the fiber runs, sleeps, and throws while this one waits
        throw std::logic_error("from the page");
    } catch (const std::logic_error& e) {
        caughtHere = e.what();
    }
    EXPECT_EQ(caughtHere, "from the page");
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(thrower.caught, "from the fiber");
    EXPECT_EQ(thrower.errorAfterSleep, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(CloseHandle(t));
}

struct Yielder {
    int runs = 0;
    bool stop = false;
};

DWORD yieldInALoop(LPVOID p) {
    auto* y = static_cast<Yielder*>(p);
    while (!y->stop) {
        ++y->runs;
        Sleep(0);
    }
    return 0;
}

TEST(Fibers, VirtualClockRunsAYieldingThreadOncePerMove) {
    platform::kernel::useVirtualClock(1'000'000);
    Yielder y;
    HANDLE t = CreateThread(nullptr, 0, yieldInALoop, &y, 0, nullptr);
    ASSERT_NE(t, nullptr);
    for (int i = 1; i <= 3; ++i) {
        platform::kernel::advanceVirtualFrame();
        EXPECT_EQ(y.runs, i);
    }
    // The thread is asleep until the driver moves time: waiting for it
    // from the driver could never end, so the wait fails.
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_FAILED);
    y.stop = true;
    platform::kernel::advanceVirtualFrame();
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(t));
    platform::kernel::useWallClock();
}

} // namespace
