// Wave-out: a header plays once unless it carries both loop flags, and the
// position counts what was played. Checked on the virtual sink (its kept PCM
// and position) and on a real SDL device, SDL's disk driver, whose output
// file holds exactly what the device was handed.

#include "platform/kernel/clock.h"
#include "platform/kernel/runmode.h"
#include "platform/winmm/mmsystem.h"
#include "platform/winmm/wavesink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kRate = 44100;
constexpr DWORD kBytesPerSecond = kRate * 4;

WAVEFORMATEX stereo16() {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = kRate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = kBytesPerSecond;
    return f;
}

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

DWORD positionBytes(HWAVEOUT device) {
    MMTIME t{};
    t.wType = TIME_BYTES;
    EXPECT_EQ(waveOutGetPosition(device, &t, sizeof t), MMSYSERR_NOERROR);
    return t.u.cb;
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
    platform::setRunMode(platform::RunMode::virtualRun);
    platform::useVirtualClock(1'000'000);
    HWAVEOUT device = nullptr;
    const WAVEFORMATEX format = stereo16();
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::vector<char> bytes = tone();
    // (loop flags, flags given) -> plays once or loops. One loop flag alone plays once.
    const DWORD flagSets[] = {0, WHDR_BEGINLOOP, WHDR_BEGINLOOP | WHDR_ENDLOOP};
    for (DWORD flags : flagSets) {
        const bool loops = flags == (WHDR_BEGINLOOP | WHDR_ENDLOOP);
        WAVEHDR h = headerFor(bytes, false);
        h.dwFlags = flags;
        platform::keepWaveOutPcm(true);
        ASSERT_EQ(waveOutPrepareHeader(device, &h, sizeof h), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(device, &h, sizeof h), MMSYSERR_NOERROR);
        platform::advanceVirtualClock(250'000'000);
        // 250 ms at 44,100 frames of 4 bytes a second.
        const std::size_t played = loops ? 11025 * 4 : bytes.size();
        EXPECT_EQ(positionBytes(device), played) << flags;
        MMTIME samples{};
        samples.wType = TIME_SAMPLES;
        waveOutGetPosition(device, &samples, sizeof samples);
        EXPECT_EQ(samples.u.sample, played / 4) << flags;
        EXPECT_EQ(platform::takeWaveOutPcm(), repeated(bytes, played)) << flags;
        EXPECT_EQ(waveOutUnprepareHeader(device, &h, sizeof h), WAVERR_STILLPLAYING);
        ASSERT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
        EXPECT_NE(h.dwFlags & WHDR_DONE, 0u);
        EXPECT_EQ(positionBytes(device), 0u);
        EXPECT_EQ(waveOutUnprepareHeader(device, &h, sizeof h), MMSYSERR_NOERROR);
        platform::keepWaveOutPcm(false);
    }
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    platform::useWallClock();
    platform::setRunMode(platform::RunMode::live);
}

namespace {

// Plays the header on SDL's disk driver for about `ms` and returns what the
// device wrote, from the first byte of the header on.
std::vector<std::uint8_t> playOnDisk(std::vector<char>& bytes, bool loop, int ms) {
    const std::string path = testing::TempDir() + (loop ? "riza3v_waveout_looped.raw" : "riza3v_waveout_once.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    platform::setRunMode(platform::RunMode::live);
    HWAVEOUT device = nullptr;
    const WAVEFORMATEX format = stereo16();
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_FALSE(platform::waveOutUsesNullSink());
    WAVEHDR h = headerFor(bytes, loop);
    waveOutPrepareHeader(device, &h, sizeof h);
    waveOutWrite(device, &h, sizeof h);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    waveOutReset(device);
    waveOutUnprepareHeader(device, &h, sizeof h);
    waveOutClose(device);
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    std::size_t first = 0;
    while (first < file.size() && file[first] == 0) {
        ++first;
    }
    return std::vector<std::uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(first), file.end());
}

} // namespace

TEST(WaveOutDevice, UnloopedHeaderIsHeardOnceThenSilence) {
    std::vector<char> bytes = tone();
    const std::vector<std::uint8_t> heard = playOnDisk(bytes, false, 400);
    ASSERT_GE(heard.size(), 3 * bytes.size()); // the device ran on for a good while after it
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), heard.begin(),
                           [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    const auto rest = std::count(heard.begin() + static_cast<std::ptrdiff_t>(bytes.size()), heard.end(), 0);
    EXPECT_EQ(static_cast<std::size_t>(rest), heard.size() - bytes.size());
}

TEST(WaveOutDevice, LoopedHeaderRepeatsWithoutAGap) {
    std::vector<char> bytes = tone();
    std::vector<std::uint8_t> heard = playOnDisk(bytes, true, 400);
    // After the reset the device plays silence: keep what came before it.
    const auto end = std::find(heard.begin(), heard.end(), 0);
    heard.erase(end, heard.end());
    ASSERT_GE(heard.size(), 2 * bytes.size());
    EXPECT_EQ(heard, repeated(bytes, heard.size()));
}
