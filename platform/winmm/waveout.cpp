// Wave-out over SDL audio (live), a wall-clock null sink (live, no device)
// and a virtual-clock sink (virtual). Facts on the calls, structures and
// result codes follow the platform's waveOut* documentation.

#include "platform/winmm/mmsystem.h"
#include "platform/winmm/wavesink.h"

#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/runmode.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

struct HWAVEOUT__ {
    enum class Kind { sdl, nullSink, virtualSink } kind;
    SDL_AudioDeviceID sdlDevice = 0;
    DWORD bytesPerSecond = 0;
    DWORD blockAlign = 0;
    // The header playing; written by the calls, read by the SDL callback.
    std::atomic<WAVEHDR*> playing{nullptr};
    // SDL: bytes the callback has handed to the device since the write.
    std::atomic<std::uint64_t> consumed{0};
    // SDL: bumped by every position query. The writer of the buffer queries
    // the position between its refills, so the callback's acquire of this
    // counter orders those refills before its reads of the buffer.
    std::atomic<std::uint64_t> queries{0};
    // Sinks: the clock reading at the write.
    std::uint64_t writeNs = 0;
    // Virtual sink: bytes of the playing header already kept.
    std::uint64_t keptUpTo = 0;
};

namespace {

std::mutex sinkMutex; // guards the virtual sink's store and the device it reads
std::vector<std::uint8_t> keptPcm;
bool keeping = false;
HWAVEOUT virtualDevice = nullptr;
std::atomic<bool> lastOpenFellBack{false};

void logLine(const char* text) {
    OutputDebugStringA(text);
}

bool loops(const WAVEHDR* h) {
    return (h->dwFlags & (WHDR_BEGINLOOP | WHDR_ENDLOOP)) == (WHDR_BEGINLOOP | WHDR_ENDLOOP);
}

// SDL audio thread: copies the playing header into the device's buffer, in a loop.
void fillFromHeader(void* user, Uint8* stream, int length) {
    auto* device = static_cast<HWAVEOUT>(user);
    device->queries.load(std::memory_order_acquire);
    WAVEHDR* h = device->playing.load(std::memory_order_acquire);
    std::uint64_t done = device->consumed.load(std::memory_order_relaxed);
    int written = 0;
    if (h != nullptr && h->dwBufferLength > 0) {
        while (written < length) {
            const std::uint64_t at = done % h->dwBufferLength;
            if (!loops(h) && done >= h->dwBufferLength) {
                break;
            }
            const int n = static_cast<int>(
                std::min<std::uint64_t>(h->dwBufferLength - at, static_cast<std::uint64_t>(length - written)));
            std::memcpy(stream + written, h->lpData + at, static_cast<std::size_t>(n));
            written += n;
            done += static_cast<std::uint64_t>(n);
        }
    }
    std::memset(stream + written, 0, static_cast<std::size_t>(length - written));
    device->consumed.store(done, std::memory_order_release);
}

// Bytes played since the write, by the device's own measure.
std::uint64_t playedBytes(HWAVEOUT device) {
    if (device->playing.load(std::memory_order_acquire) == nullptr) {
        return 0;
    }
    if (device->kind == HWAVEOUT__::Kind::sdl) {
        return device->consumed.load(std::memory_order_acquire);
    }
    const std::uint64_t elapsed = platform::clockNowNs() - device->writeNs;
    const std::uint64_t frames = elapsed / 1000 * (device->bytesPerSecond / device->blockAlign) / 1'000'000;
    return frames * device->blockAlign;
}

// Virtual sink: keeps the header's bytes up to what has been played by now.
// Caller holds sinkMutex.
void catchUp(HWAVEOUT device, std::uint64_t played) {
    WAVEHDR* h = device->playing.load(std::memory_order_acquire);
    if (!keeping || h == nullptr || h->dwBufferLength == 0) {
        device->keptUpTo = played;
        return;
    }
    if (!loops(h)) {
        played = std::min<std::uint64_t>(played, h->dwBufferLength);
    }
    while (device->keptUpTo < played) {
        const std::uint64_t at = device->keptUpTo % h->dwBufferLength;
        const std::uint64_t n = std::min<std::uint64_t>(h->dwBufferLength - at, played - device->keptUpTo);
        keptPcm.insert(keptPcm.end(), h->lpData + at, h->lpData + at + n);
        device->keptUpTo += n;
    }
}

bool openSdl(HWAVEOUT device, const WAVEFORMATEX& format) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        char line[256];
        std::snprintf(line, sizeof line, "waveOutOpen: audio unavailable (%s)\n", SDL_GetError());
        logLine(line);
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.nSamplesPerSec);
    want.format = AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(format.nChannels);
    want.samples = 1024;
    want.callback = fillFromHeader;
    want.userdata = device;
    SDL_AudioSpec have{};
    device->sdlDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device->sdlDevice == 0) {
        char line[256];
        std::snprintf(line, sizeof line, "waveOutOpen: no audio device opens (%s)\n", SDL_GetError());
        logLine(line);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_PauseAudioDevice(device->sdlDevice, 0);
    return true;
}

bool validHeader(const WAVEHDR* header, UINT size) {
    return header != nullptr && size >= sizeof(WAVEHDR);
}

} // namespace

MMRESULT waveOutOpen(HWAVEOUT* result, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback, DWORD_PTR,
                     DWORD flags) {
    if (result == nullptr || format == nullptr) {
        logLine("waveOutOpen: no handle or format given\n");
        return MMSYSERR_INVALPARAM;
    }
    if (deviceId != WAVE_MAPPER && deviceId != 0) {
        logLine("waveOutOpen: only the wave mapper is provided\n");
        return MMSYSERR_BADDEVICEID;
    }
    if (callback != 0 || flags != CALLBACK_NULL) {
        logLine("waveOutOpen: callbacks are not provided\n");
        return MMSYSERR_INVALFLAG;
    }
    if (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 || format->nChannels < 1 ||
        format->nChannels > 2 || format->nSamplesPerSec < 8000 || format->nSamplesPerSec > 192000 ||
        format->nBlockAlign != format->nChannels * 2 ||
        format->nAvgBytesPerSec != format->nSamplesPerSec * format->nBlockAlign) {
        logLine("waveOutOpen: only 16-bit PCM of 1 or 2 channels is provided\n");
        return WAVERR_BADFORMAT;
    }
    auto* device = new HWAVEOUT__;
    device->bytesPerSecond = format->nAvgBytesPerSec;
    device->blockAlign = format->nBlockAlign;
    if (platform::runMode() == platform::RunMode::virtualRun) {
        device->kind = HWAVEOUT__::Kind::virtualSink;
        std::lock_guard lock(sinkMutex);
        virtualDevice = device;
        lastOpenFellBack = false;
    } else if (openSdl(device, *format)) {
        device->kind = HWAVEOUT__::Kind::sdl;
        lastOpenFellBack = false;
    } else {
        device->kind = HWAVEOUT__::Kind::nullSink;
        lastOpenFellBack = true;
        logLine("waveOutOpen: playing into a null sink paced by the wall clock\n");
    }
    *result = device;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT size) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!validHeader(header, size) || header->lpData == nullptr) {
        logLine("waveOutPrepareHeader: no header or no data\n");
        return MMSYSERR_INVALPARAM;
    }
    header->dwFlags = (header->dwFlags | WHDR_PREPARED) & ~(WHDR_DONE | WHDR_INQUEUE);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT size) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!validHeader(header, size)) {
        return MMSYSERR_INVALPARAM;
    }
    if ((header->dwFlags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if (device->playing.load() != nullptr) {
        logLine("waveOutWrite: one header at a time is provided\n");
        return MMSYSERR_NOTSUPPORTED;
    }
    header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
    std::lock_guard lock(sinkMutex);
    device->writeNs = platform::clockNowNs();
    device->keptUpTo = 0;
    device->consumed.store(0);
    device->playing.store(header, std::memory_order_release);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, UINT size) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (time == nullptr || size < sizeof(MMTIME)) {
        return MMSYSERR_INVALPARAM;
    }
    device->queries.fetch_add(1, std::memory_order_release);
    std::uint64_t played = playedBytes(device);
    if (device->kind == HWAVEOUT__::Kind::virtualSink) {
        std::lock_guard lock(sinkMutex);
        catchUp(device, played);
    }
    WAVEHDR* h = device->playing.load(std::memory_order_acquire);
    if (h != nullptr && !loops(h)) {
        played = std::min<std::uint64_t>(played, h->dwBufferLength);
    }
    const auto bytes = static_cast<DWORD>(played); // the platform's counter wraps at 2^32
    switch (time->wType) {
    case TIME_SAMPLES:
        time->u.sample = bytes / device->blockAlign;
        break;
    case TIME_MS:
        time->u.ms = static_cast<DWORD>(played * 1000 / device->bytesPerSecond);
        break;
    default:
        time->wType = TIME_BYTES;
        time->u.cb = bytes;
        break;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT size) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!validHeader(header, size)) {
        return MMSYSERR_INVALPARAM;
    }
    if ((header->dwFlags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT device) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (device->kind == HWAVEOUT__::Kind::sdl) {
        // The callback must not be inside the header while it is taken away.
        SDL_LockAudioDevice(device->sdlDevice);
    }
    std::unique_lock lock(sinkMutex);
    if (device->kind == HWAVEOUT__::Kind::virtualSink) {
        catchUp(device, playedBytes(device));
    }
    WAVEHDR* h = device->playing.exchange(nullptr);
    device->consumed.store(0);
    device->keptUpTo = 0;
    lock.unlock();
    if (device->kind == HWAVEOUT__::Kind::sdl) {
        SDL_UnlockAudioDevice(device->sdlDevice);
    }
    if (h != nullptr) {
        h->dwFlags = (h->dwFlags | WHDR_DONE) & ~WHDR_INQUEUE;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT device) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (device->playing.load() != nullptr) {
        return WAVERR_STILLPLAYING;
    }
    if (device->kind == HWAVEOUT__::Kind::sdl) {
        SDL_CloseAudioDevice(device->sdlDevice);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    {
        std::lock_guard lock(sinkMutex);
        if (virtualDevice == device) {
            virtualDevice = nullptr;
        }
    }
    delete device;
    return MMSYSERR_NOERROR;
}

namespace platform {

void keepWaveOutPcm(bool keep) {
    std::lock_guard lock(sinkMutex);
    if (keep && !keeping) {
        keptPcm.clear();
        if (virtualDevice != nullptr) {
            virtualDevice->keptUpTo = playedBytes(virtualDevice);
        }
    }
    keeping = keep;
}

std::vector<std::uint8_t> takeWaveOutPcm() {
    std::lock_guard lock(sinkMutex);
    if (virtualDevice != nullptr) {
        catchUp(virtualDevice, playedBytes(virtualDevice));
    }
    std::vector<std::uint8_t> out;
    out.swap(keptPcm);
    return out;
}

bool virtualSinkStart(std::uint64_t& writeNs, std::uint32_t& framesPerSecond, std::uint32_t& channels) {
    std::lock_guard lock(sinkMutex);
    if (virtualDevice == nullptr || virtualDevice->playing.load() == nullptr) {
        return false;
    }
    writeNs = virtualDevice->writeNs;
    framesPerSecond = virtualDevice->bytesPerSecond / virtualDevice->blockAlign;
    channels = virtualDevice->blockAlign / 2;
    return true;
}

bool waveOutUsesNullSink() {
    return lastOpenFellBack.load();
}

} // namespace platform
