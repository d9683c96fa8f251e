#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::int64_t counter() {
    LARGE_INTEGER c;
    EXPECT_TRUE(QueryPerformanceCounter(&c));
    return c.QuadPart;
}

class VirtualClockTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::kernel::useVirtualClock(16'666'667); }
    void TearDown() override { platform::kernel::useWallClock(); }
};

TEST_F(VirtualClockTest, ReadsStepOneMicrosecondFramesStepTheFrameAndBusyWaitsEnd) {
    LARGE_INTEGER f;
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 10'000'000);
    // 1 us per read on the driving thread: 10 counts.
    EXPECT_EQ(counter(), 10);
    EXPECT_EQ(counter(), 20);
    platform::kernel::advanceVirtualFrame();
    EXPECT_EQ(platform::kernel::clockNowNs(), 16'666'667u + 2'000u);
    EXPECT_EQ(counter(), (16'666'667 + 3'000) / 100);
    Sleep(1000);
    EXPECT_EQ(GetTickCount(), 1016u);
    // A busy wait on the counter ends.
    const std::int64_t start = counter();
    int reads = 0;
    while (counter() - start < 1'000'000) { // 0.1 s
        ++reads;
    }
    EXPECT_EQ(reads, 99'999);
}

struct PollState {
    std::atomic<bool> stop{false};
    std::vector<std::uint64_t> wakeTimes;
};

DWORD pollEvery5ms(LPVOID p) {
    auto* s = static_cast<PollState*>(p);
    while (!s->stop.load()) {
        s->wakeTimes.push_back(platform::kernel::clockNowNs());
        Sleep(5);
    }
    return 0;
}

TEST_F(VirtualClockTest, SleepingThreadRunsInStepWithTheDriver) {
    PollState state;
    HANDLE t = CreateThread(nullptr, 0, pollEvery5ms, &state, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(SetThreadPriority(t, THREAD_PRIORITY_TIME_CRITICAL));
    // Time 0: the new thread has run once before the driver moves on.
    platform::kernel::advanceVirtualClock(0);
    ASSERT_EQ(state.wakeTimes.size(), 1u);
    // Each 20 ms advance wakes the thread at most once per crossing of its
    // 5 ms deadline; its work is done when the advance returns.
    for (int i = 1; i <= 10; ++i) {
        platform::kernel::advanceVirtualClock(20'000'000);
        EXPECT_EQ(state.wakeTimes.size(), static_cast<std::size_t>(i + 1));
        EXPECT_EQ(state.wakeTimes.back(), static_cast<std::uint64_t>(i) * 20'000'000u);
    }
    // Small steps: wakes exactly when 5 ms have passed since it slept.
    const std::size_t before = state.wakeTimes.size();
    for (int i = 0; i < 10; ++i) {
        platform::kernel::advanceVirtualClock(1'000'000);
    }
    EXPECT_EQ(state.wakeTimes.size(), before + 2);
    state.stop = true;
    platform::kernel::advanceVirtualClock(5'000'000);
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(t));
}

TEST(WallClock, CounterAdvancesAndSleepWaits) {
    const std::int64_t a = counter();
    const DWORD t0 = GetTickCount();
    Sleep(20);
    const std::int64_t b = counter();
    EXPECT_GE(b - a, 200'000); // at least 20 ms at 10 MHz
    EXPECT_GE(GetTickCount() - t0, 19u);
}

DWORD storeLastError(LPVOID p) {
    *static_cast<DWORD*>(p) = GetLastError();
    return 0;
}

// Threads refuse creation flags and a null routine, and each has its own last error.
TEST(Threads, RefuseBadArgumentsAndKeepTheirOwnLastError) {
    SetLastError(0);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CreateThread(nullptr, 0, storeLastError, nullptr, 4, nullptr), nullptr);
    EXPECT_FALSE(SetThreadPriority(nullptr, THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(87);
    DWORD seen = 1;
    HANDLE t = CreateThread(nullptr, 0, storeLastError, &seen, 0, nullptr);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(GetLastError(), 87u);
}

TEST(FormatMessage, AllocatesSystemTextAndRefusesUnknownCodes) {
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    char* text = nullptr;
    DWORD n = FormatMessageA(flags, nullptr, ERROR_INVALID_PARAMETER, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), "The parameter is incorrect.\r\n");
    EXPECT_EQ(n, std::strlen(text));
    EXPECT_EQ(LocalFree(text), nullptr);

    text = nullptr;
    EXPECT_EQ(FormatMessageA(flags, nullptr, 0xDEAD, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr), 0u);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);

    char small[8];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0, 0, small, sizeof small, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(DebugOutput, WritesTextUnchanged) {
    ::testing::internal::CaptureStderr();
    OutputDebugStringA("100% done\n");
    OutputDebugStringA(nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "100% done\n");
}

} // namespace
