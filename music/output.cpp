// Block filling and the audio thread over the wave-out device.

#include "music/output.h"

#include "music/mixer.h"
#include "music/player.h"
#include "music/render.h"
#include "music/xmloader.h"
#include "platform/kernel/kernel.h"
#include "platform/winmm/mmsystem.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace music {

namespace {

HWAVEOUT deviceHandle = nullptr;
int framesPerBlock = 0;
int framesInRing = 0;
int blockCount = 0;
std::int16_t* ring = nullptr;
WAVEHDR ringHeader{};
bool headerPrepared = false;
void* mixAllocation = nullptr;
float* mixFloats = nullptr;
// Order in the high byte, row in the low byte: one atomic load reads a
// consistent pair while the audio thread rewrites other blocks' records.
std::atomic<std::uint16_t>* positionRecords = nullptr;
int fillBlock = 0;
std::atomic<int> playBlock{0};
std::atomic<Module*> currentModule{nullptr};
std::atomic<bool> stopRequested{false};
std::atomic<bool> filling{false};
std::atomic<bool> threadFinished{true};
HANDLE audioThread = nullptr;

void fillOneBlock(Module* module) {
    float* mix = mixFloats + static_cast<std::ptrdiff_t>(2) * fillBlock * framesPerBlock;
    std::memset(mix, 0, sizeof(float) * 2 * static_cast<std::size_t>(framesPerBlock));
    renderFrames(module, mix, framesPerBlock);
    const auto record = static_cast<std::uint16_t>(((module->order & 0xFF) << 8) | (module->row & 0xFF));
    positionRecords[fillBlock].store(record, std::memory_order_release);
    convertToPcm16(ring + static_cast<std::ptrdiff_t>(2) * fillBlock * framesPerBlock, mix, framesPerBlock);
    fillBlock = fillBlock + 1 == blockCount ? 0 : fillBlock + 1;
}

DWORD audioThreadMain(LPVOID parameter) {
    auto* module = static_cast<Module*>(parameter);
    threadFinished.store(false);
    while (!stopRequested.load()) {
        MMTIME time{};
        time.wType = TIME_BYTES;
        if (waveOutGetPosition(deviceHandle, &time, sizeof time) == MMSYSERR_NOERROR) {
            const std::uint32_t frames = time.u.cb / 4;
            const int cursor = static_cast<int>(frames % static_cast<std::uint32_t>(framesInRing)) / framesPerBlock;
            while (fillBlock != cursor && !stopRequested.load()) {
                filling.store(true);
                // The reported block moves on before the block behind it is
                // refilled: a record being rewritten with the position 20 s
                // ahead must never be the one the song clock reads.
                const int next = playBlock.load(std::memory_order_relaxed) + 1;
                playBlock.store(next == blockCount ? 0 : next, std::memory_order_release);
                fillOneBlock(module);
                filling.store(false);
            }
        }
        Sleep(5);
    }
    threadFinished.store(true);
    return 0;
}

int recordOf(const Module* module) {
    if (module == nullptr || module != currentModule.load() || positionRecords == nullptr) {
        return 0;
    }
    // A reader held up between the two loads for a block's length or more
    // (a busy machine) could find the block behind the one it read already
    // refilled with the position a ring length ahead. The refill moves
    // playBlock first, so an unchanged playBlock after the record's load
    // means the record was the played block's own.
    for (;;) {
        const int block = playBlock.load(std::memory_order_acquire);
        const int record = positionRecords[block].load(std::memory_order_acquire);
        if (playBlock.load(std::memory_order_relaxed) == block) {
            return record;
        }
    }
}

// Installed for freeModule: a module is never freed while the ring plays it.
void stopIfPlaying(Module* module) {
    if (currentModule.load() == module) {
        stopPlayback(module);
    }
}

} // namespace

bool openOutput(int rate, int) {
    if (!sourceCallbacksInstalled()) {
        return false;
    }
    closeOutput();
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.nAvgBytesPerSec = static_cast<DWORD>(rate) * 4;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    if (waveOutOpen(&deviceHandle, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        deviceHandle = nullptr;
        return false;
    }
    // 20 ms rounded up to whole frames, then up to a multiple of 4.
    framesPerBlock = ((rate * 20 + 999) / 1000 + 3) / 4 * 4;
    blockCount = kBufferMilliseconds / 20 * 2;
    framesInRing = blockCount * framesPerBlock;
    prepareMixer(rate);
    return true;
}

bool startPlayback(Module* module) {
    if (module == nullptr) {
        return false;
    }
    stopPlayback(module);
    if (deviceHandle == nullptr) {
        return false;
    }
    resetPlayback(module);
    setModuleReleaseHook(stopIfPlaying);
    currentModule.store(module);
    positionRecords = new std::atomic<std::uint16_t>[static_cast<std::size_t>(blockCount)]();
    ring = static_cast<std::int16_t*>(std::calloc(static_cast<std::size_t>(framesInRing), 4));
    ringHeader = WAVEHDR{};
    ringHeader.lpData = static_cast<LPSTR>(static_cast<void*>(ring));
    ringHeader.dwBufferLength = static_cast<DWORD>(framesInRing) * 4;
    ringHeader.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    ringHeader.dwLoops = 0xFFFFFFFF;
    headerPrepared = waveOutPrepareHeader(deviceHandle, &ringHeader, sizeof ringHeader) == MMSYSERR_NOERROR;
    const std::size_t mixBytes = static_cast<std::size_t>(framesInRing) * 8 + 256;
    // Zeroed by calloc, which leaves fresh pages to be mapped as the blocks
    // first reach them; the start is aligned up to 16 bytes within the slack.
    mixAllocation = std::calloc(mixBytes, 1);
    if (mixAllocation == nullptr) {
        throw std::bad_alloc();
    }
    const auto address = reinterpret_cast<std::uintptr_t>(mixAllocation);
    mixFloats = reinterpret_cast<float*>((address + 15) & ~static_cast<std::uintptr_t>(15));
    fillBlock = 0;
    playBlock.store(0);
    do {
        fillOneBlock(module);
    } while (fillBlock != 0);
    waveOutWrite(deviceHandle, &ringHeader, sizeof ringHeader);
    stopRequested.store(false);
    threadFinished.store(false);
    audioThread = CreateThread(nullptr, 0, audioThreadMain, module, 0, nullptr);
    if (audioThread != nullptr) {
        SetThreadPriority(audioThread, THREAD_PRIORITY_TIME_CRITICAL);
    }
    return true;
}

bool stopPlayback(Module* module) {
    if (module == nullptr) {
        return false;
    }
    stopRequested.store(true);
    while (filling.load()) {
        // A block being filled is completed before its buffers go.
    }
    if (audioThread != nullptr) {
        while (!threadFinished.load()) {
            Sleep(50);
        }
        CloseHandle(audioThread);
        audioThread = nullptr;
    }
    // The device stops reading the ring before the ring is freed.
    if (deviceHandle != nullptr && ring != nullptr) {
        waveOutReset(deviceHandle);
    }
    std::free(mixAllocation);
    mixAllocation = nullptr;
    mixFloats = nullptr;
    if (headerPrepared) {
        waveOutUnprepareHeader(deviceHandle, &ringHeader, sizeof ringHeader);
        headerPrepared = false;
    }
    std::free(ring);
    ring = nullptr;
    currentModule.store(nullptr);
    delete[] positionRecords;
    positionRecords = nullptr;
    return true;
}

void closeOutput() {
    if (deviceHandle == nullptr) {
        return;
    }
    Module* playing = currentModule.load();
    if (playing != nullptr) {
        stopPlayback(playing);
    }
    waveOutReset(deviceHandle);
    waveOutClose(deviceHandle);
    deviceHandle = nullptr;
}

int currentOrder(const Module* module) {
    return recordOf(module) >> 8;
}
int currentRow(const Module* module) {
    return recordOf(module) & 0xFF;
}
Module* playingModule() {
    return currentModule.load();
}
int blockFrames() {
    return framesPerBlock;
}
int ringFrames() {
    return framesInRing;
}

} // namespace music
