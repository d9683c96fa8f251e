// The two clocks behind QueryPerformanceCounter, GetTickCount and Sleep.
//
// Live: the monotonic wall clock.
// Virtual: time stands still until the driving thread (the one that switched
// the clock to virtual mode) moves it: by a fixed step at every presented
// frame, by a tiny step at each of its own clock reads (so that busy-waits
// end), and by the full amount when it sleeps itself. Threads made by
// CreateThread sleep on the virtual clock; whenever the driver moves time,
// it does not go on until every thread whose wake-up time has come has run
// and gone back to sleep (or ended). Runs are therefore deterministic.
#pragma once

#include <cstdint>

namespace platform::kernel {

inline constexpr std::uint64_t kClockReadStepNs = 1000;

// Switches the process to the virtual clock, starting at time 0. The calling
// thread becomes the driver. Call before any thread is created.
void useVirtualClock(std::uint64_t frameStepNs);
// Back to the wall clock (for tests). No thread may sleep on the clock then.
void useWallClock();
bool virtualClockActive();
// Nanoseconds on the clock in force, without advancing anything.
std::uint64_t clockNowNs();
// The read behind QueryPerformanceCounter and GetTickCount: as clockNowNs,
// except that on the driver it first moves virtual time by kClockReadStepNs.
std::uint64_t readClockNs();
// Driver only: moves virtual time by one frame step, then waits until all
// threads due by the new time have done their work.
void advanceVirtualFrame();
// Driver only: moves virtual time by ns, with the same wait.
void advanceVirtualClock(std::uint64_t ns);
std::uint64_t virtualFrameStepNs();

} // namespace platform::kernel
