// Wave-out: a header plays once unless it carries both loop flags, and the
// position counts what was played. Checked on the virtual sink (its kept PCM
// and position) and on a real SDL device, SDL's disk driver, whose output
// file holds exactly what the device was handed. On SDL's dummy driver the
// position is the one heard: behind what the callback copied, moving on with
// the clock between callbacks. Without a device, one line says so.

#include "platform/kernel/clock.h"
#include "platform/kernel/runmode.h"
#include "platform/winmm/mmsystem.h"
#include "platform/winmm/wavesink.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kRate = 44100;
constexpr DWORD kBytesPerSecond = kRate * 4;

// 16-bit stereo PCM: four bytes a frame.
const WAVEFORMATEX kStereo16{WAVE_FORMAT_PCM, 2, kRate, kBytesPerSecond, 4, 16, 0};

// 100 ms of bytes that are never 0, so where they start and end is plain.
std::vector<char> tone() {
    std::vector<char> bytes(kBytesPerSecond / 10);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(1 + i % 251);
    }
    return bytes;
}

WAVEHDR headerFor(std::vector<char>& bytes, bool loop) {
    WAVEHDR h{};
    h.lpData = bytes.data();
    h.dwBufferLength = static_cast<DWORD>(bytes.size());
    if (loop) {
        h.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
        h.dwLoops = 0xFFFFFFFFu;
    }
    return h;
}

DWORD position(HWAVEOUT device, UINT type = TIME_BYTES) {
    MMTIME t{};
    t.wType = type;
    EXPECT_EQ(waveOutGetPosition(device, &t, sizeof t), MMSYSERR_NOERROR);
    return type == TIME_SAMPLES ? t.u.sample : t.u.cb;
}

// `bytes` repeated from its start to n bytes.
std::vector<std::uint8_t> repeated(const std::vector<char>& bytes, std::size_t n) {
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(bytes[i % bytes.size()]);
    }
    return out;
}

} // namespace

TEST(WaveOutVirtual, OnceWithoutLoopFlagsAndForEverWithBoth) {
    platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
    platform::kernel::useVirtualClock(1'000'000);
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &kStereo16, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::vector<char> bytes = tone();
    // (loop flags, flags given) -> plays once or loops. One loop flag alone plays once.
    const DWORD flagSets[] = {0, WHDR_BEGINLOOP, WHDR_BEGINLOOP | WHDR_ENDLOOP};
    for (DWORD flags : flagSets) {
        const bool loops = flags == (WHDR_BEGINLOOP | WHDR_ENDLOOP);
        WAVEHDR h = headerFor(bytes, false);
        h.dwFlags = flags;
        platform::winmm::keepWaveOutPcm(true);
        ASSERT_EQ(waveOutPrepareHeader(device, &h, sizeof h), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(device, &h, sizeof h), MMSYSERR_NOERROR);
        platform::kernel::advanceVirtualClock(250'000'000);
        // 250 ms at 44,100 frames of 4 bytes a second.
        const std::size_t played = loops ? 11025 * 4 : bytes.size();
        EXPECT_EQ(position(device), played) << flags;
        EXPECT_EQ(position(device, TIME_SAMPLES), played / 4) << flags;
        EXPECT_EQ(platform::winmm::takeWaveOutPcm(), repeated(bytes, played)) << flags;
        EXPECT_EQ(waveOutUnprepareHeader(device, &h, sizeof h), WAVERR_STILLPLAYING);
        ASSERT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
        EXPECT_NE(h.dwFlags & WHDR_DONE, 0u);
        EXPECT_EQ(position(device), 0u);
        EXPECT_EQ(waveOutUnprepareHeader(device, &h, sizeof h), MMSYSERR_NOERROR);
        platform::winmm::keepWaveOutPcm(false);
    }
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    platform::kernel::useWallClock();
    platform::kernel::setRunMode(platform::kernel::RunMode::live);
}

namespace {

struct DiskPlay {
    std::vector<std::uint8_t> heard; // the device's output from the header's first byte on
    std::vector<DWORD> positions;    // read every millisecond while it played
};

// Plays the header on SDL's disk driver until the position has reached
// `target` bytes (at most 5 s), and 100 ms more.
DiskPlay playOnDisk(std::vector<char>& bytes, bool loop, DWORD target) {
    // One file per process: other runs of these tests may share the folder.
    const std::string path = testing::TempDir() + "riza3v_waveout_" + std::to_string(getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    platform::kernel::setRunMode(platform::kernel::RunMode::live);
    HWAVEOUT device = nullptr;
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &kStereo16, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_FALSE(platform::winmm::waveOutUsesNullSink());
    WAVEHDR h = headerFor(bytes, loop);
    waveOutPrepareHeader(device, &h, sizeof h);
    waveOutWrite(device, &h, sizeof h);
    DiskPlay play;
    const auto start = std::chrono::steady_clock::now();
    auto end = start + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        play.positions.push_back(position(device));
        if (play.positions.back() >= target && end - start == std::chrono::seconds(5)) {
            end = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    waveOutReset(device);
    waveOutUnprepareHeader(device, &h, sizeof h);
    waveOutClose(device);
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
    const std::string file = tests::support::fileText(path);
    std::remove(path.c_str());
    play.heard.assign(std::find_if(file.begin(), file.end(), [](char c) { return c != 0; }), file.end());
    return play;
}

} // namespace

TEST(WaveOutDevice, UnloopedHeaderIsHeardOnceThenSilence) {
    std::vector<char> bytes = tone();
    const DiskPlay play = playOnDisk(bytes, false, static_cast<DWORD>(bytes.size()));
    ASSERT_GE(play.heard.size(), bytes.size());
    std::vector<std::uint8_t> once = repeated(bytes, bytes.size());
    once.resize(play.heard.size(), 0);
    EXPECT_EQ(play.heard, once);
    // The position runs through the silence after the end without a step back
    // and stops at the header's length.
    EXPECT_TRUE(std::is_sorted(play.positions.begin(), play.positions.end()));
    EXPECT_EQ(play.positions.back(), bytes.size());
}

TEST(WaveOutDevice, LoopedHeaderRepeatsWithoutAGap) {
    std::vector<char> bytes = tone();
    const DiskPlay play = playOnDisk(bytes, true, static_cast<DWORD>(3 * bytes.size()));
    std::vector<std::uint8_t> heard = play.heard;
    // After the reset the device plays silence: keep what came before it.
    const auto end = std::find(heard.begin(), heard.end(), 0);
    heard.erase(end, heard.end());
    ASSERT_GE(heard.size(), 2 * bytes.size());
    EXPECT_EQ(heard, repeated(bytes, heard.size()));
    EXPECT_TRUE(std::is_sorted(play.positions.begin(), play.positions.end()));
}

namespace {

struct Reading {
    double before; // seconds since the write, just before the position was read
    double after;  // just after the copied count was read
    std::uint64_t position;
    std::uint64_t copied;
};

double seconds(std::uint64_t bytes) {
    return static_cast<double>(bytes) / kBytesPerSecond;
}

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

} // namespace

// The position is what is heard: behind the bytes the callback has copied by
// at least SDL's buffer, moving on with the clock between callbacks (no step
// of a whole buffer between two reads a millisecond apart), never backwards,
// and over 10 s it keeps pace with the device. The dummy driver's device
// runs on its own sleeps, so it drifts from the wall clock (faster when idle,
// slower when the machine is loaded): the pace is measured against its own
// consumption, from the readings right after its callbacks (where the copied
// count has just stepped up), at the start and the end of the span.
TEST(WaveOutDevice, PositionTrailsTheCopiedBytesAndKeepsPace) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    platform::kernel::setRunMode(platform::kernel::RunMode::live);
    HWAVEOUT device = nullptr;
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &kStereo16, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::uint64_t copied = 0;
    std::uint64_t buffer = 0;
    ASSERT_TRUE(platform::winmm::waveOutCopiedBytes(device, copied, buffer));
    ASSERT_GT(buffer, 0u);
    std::vector<char> bytes(kBytesPerSecond); // a second of sound, looped
    WAVEHDR h = headerFor(bytes, true);
    waveOutPrepareHeader(device, &h, sizeof h);
    const auto start = std::chrono::steady_clock::now();
    const auto now = [&start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    waveOutWrite(device, &h, sizeof h);
    std::vector<Reading> readings;
    while (now() < 10.0) {
        Reading r{now(), 0, position(device), 0}; // read in this order
        platform::winmm::waveOutCopiedBytes(device, r.copied, buffer);
        r.after = now();
        readings.push_back(r);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    waveOutReset(device);
    waveOutUnprepareHeader(device, &h, sizeof h);
    waveOutClose(device);
    unsetenv("SDL_AUDIODRIVER");
    ASSERT_GT(readings.size(), 1000u);

    int ahead = 0;
    int backwards = 0;
    int jumps = 0;
    std::string firstAhead;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const Reading& r = readings[i];
        // Nothing is heard before a buffer beyond SDL's has been copied.
        if (r.position > 0 && r.position + buffer > r.copied && ahead++ == 0) {
            firstAhead = "at " + std::to_string(r.before) + " s: " + std::to_string(r.position) + " of " +
                         std::to_string(r.copied) + " bytes";
        }
        if (i > 0) {
            const Reading& last = readings[i - 1];
            backwards += r.position < last.position ? 1 : 0;
            // No further than the time between the two reads allows, and 2 ms.
            jumps += seconds(r.position - std::min(r.position, last.position)) > r.after - last.before + 0.002 ? 1 : 0;
        }
    }
    EXPECT_EQ(ahead, 0) << firstAhead;
    EXPECT_EQ(backwards, 0);
    EXPECT_EQ(jumps, 0);
    // It moved on with the device (which falls behind the clock when the
    // machine is loaded).
    EXPECT_GT(readings.back().position, readings.back().copied / 2);

    // Pace: right after each callback (the copied count has just stepped up,
    // and the reading came at most 2 ms after the one before it) the position
    // trails the copied count by the same time at the start and at the end.
    // The median keeps a callback that came between the two reads of a
    // reading out of the way.
    const auto trailAfterCallbacks = [&readings](double from, double to) {
        std::vector<double> trails;
        for (std::size_t i = 1; i < readings.size(); ++i) {
            const Reading& r = readings[i];
            const Reading& last = readings[i - 1];
            if (r.before >= from && r.after <= to && r.copied > last.copied && r.after - last.before <= 0.002) {
                trails.push_back(seconds(r.copied - r.position));
            }
        }
        EXPECT_GE(trails.size(), 10u) << from;
        return trails.empty() ? 0.0 : median(trails);
    };
    const double first = trailAfterCallbacks(0.5, 2.0);
    const double last = trailAfterCallbacks(8.5, 10.0);
    EXPECT_NEAR(first, last, 0.005);
}

// On a machine without a sound card alsa-lib prints a dozen lines of its
// configuration search; here an ALSA device name that exists nowhere makes it
// fail the same way on any machine. What reaches stderr is one line of ours.
TEST(WaveOutDevice, WithoutADeviceOneLineSaysItPlaysSilently) {
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    setenv("AUDIODEV", "riza3v-no-such-device", 1);
    platform::kernel::setRunMode(platform::kernel::RunMode::live);
    HWAVEOUT device = nullptr;
    testing::internal::CaptureStderr();
    const MMRESULT opened = waveOutOpen(&device, WAVE_MAPPER, &kStereo16, 0, 0, CALLBACK_NULL);
    std::istringstream err(testing::internal::GetCapturedStderr());
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("AUDIODEV");
    ASSERT_EQ(opened, MMSYSERR_NOERROR);
    EXPECT_TRUE(platform::winmm::waveOutUsesNullSink());
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    std::vector<std::string> lines;
    for (std::string line; std::getline(err, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 1u) << (lines.empty() ? "" : lines[0]);
    EXPECT_EQ(lines[0].rfind("waveOutOpen: no audio device opens (", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("playing silently"), std::string::npos) << lines[0];
}
