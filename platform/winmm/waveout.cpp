// Wave-out over the live sound device (audiodevice.h: SDL audio or Web Audio),
// a wall-clock null sink (live, no device)
// and a virtual-clock sink (virtual). Facts on the calls, structures and
// result codes follow the platform's waveOut* documentation: the position is
// that of the sample being played, so on SDL it is estimated behind what the
// callback has copied (heardBytes).

#include "platform/winmm/mmsystem.h"
#include "platform/winmm/wavesink.h"

#include "platform/kernel/clock.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/runmode.h"

#include "platform/winmm/audiodevice.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

// What the SDL callback last did, for the position estimate. Written by the
// callback alone (by the calls only while they hold SDL's device lock) and
// read by any thread as a sequence lock: `sequence` is odd while the record
// is written, and a reader that saw it change reads again.
struct CallbackStamp {
    std::atomic<std::uint32_t> sequence{0};
    // Bytes handed to SDL since the header started before this callback,
    // the silence after an unlooped header's end included.
    std::atomic<std::uint64_t> startedBytes{0};
    // Bytes this callback handed over; 0 before the first callback.
    std::atomic<std::uint64_t> lengthBytes{0};
    // Steady clock at the callback's start, in nanoseconds.
    std::atomic<std::int64_t> atNs{0};
};

struct Stamp {
    std::uint64_t startedBytes;
    std::uint64_t lengthBytes;
    std::int64_t atNs;
};

std::int64_t steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The release stores keep the odd sequence number ahead of the new values,
// so a reader whose acquire loads see any of them sees the sequence moved.
void publish(CallbackStamp& stamp, const Stamp& value) {
    const std::uint32_t sequence = stamp.sequence.load(std::memory_order_relaxed);
    stamp.sequence.store(sequence + 1, std::memory_order_relaxed);
    stamp.startedBytes.store(value.startedBytes, std::memory_order_release);
    stamp.lengthBytes.store(value.lengthBytes, std::memory_order_release);
    stamp.atNs.store(value.atNs, std::memory_order_release);
    stamp.sequence.store(sequence + 2, std::memory_order_release);
}

Stamp readStamp(const CallbackStamp& stamp) {
    for (;;) {
        const std::uint32_t before = stamp.sequence.load(std::memory_order_acquire);
        const Stamp value{stamp.startedBytes.load(std::memory_order_acquire),
                          stamp.lengthBytes.load(std::memory_order_acquire),
                          stamp.atNs.load(std::memory_order_acquire)};
        if ((before & 1) == 0 && stamp.sequence.load(std::memory_order_relaxed) == before) {
            return value;
        }
    }
}

} // namespace

struct HWAVEOUT__ {
    enum class Kind { live, nullSink, virtualSink } kind;
    std::uint32_t liveDevice = 0; // platform::winmm::audio's id
    DWORD bytesPerSecond = 0;
    DWORD blockAlign = 0;
    // The header playing; written by the calls, read by the SDL callback.
    std::atomic<WAVEHDR*> playing{nullptr};
    // SDL: bytes of the header the callback has copied since the write.
    std::atomic<std::uint64_t> consumed{0};
    CallbackStamp stamp;
    // SDL: the obtained buffer, and what the device is taken to hold beyond it.
    std::uint64_t bufferBytes = 0;
    std::uint64_t deviceHeldBytes = 0;
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

// The live device's callback (SDL's audio thread, or the page's audio
// callback in the browser): copies the playing header into its buffer, in a loop.
void fillFromHeader(void* user, std::uint8_t* stream, int length) {
    const std::int64_t now = steadyNs();
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
    if (h != nullptr) {
        const Stamp last = readStamp(device->stamp);
        publish(device->stamp, {last.startedBytes + last.lengthBytes, static_cast<std::uint64_t>(length), now});
    }
}

// The byte being heard now: at a callback's start SDL's buffer and what the
// device holds lie between the bytes handed over before it and the
// loudspeaker; from there it moves on with the steady clock, up to the end of
// the buffer the callback fills. The next callback starts from that very
// point, so the estimate never moves backwards, and it always trails the
// bytes copied by at least SDL's buffer.
std::uint64_t heardBytes(HWAVEOUT device) {
    const Stamp last = readStamp(device->stamp);
    if (last.lengthBytes == 0) {
        return 0;
    }
    const std::int64_t since = std::clamp<std::int64_t>(steadyNs() - last.atNs, 0, 1'000'000'000);
    const std::uint64_t moved = static_cast<std::uint64_t>(since) * device->bytesPerSecond / 1'000'000'000;
    const std::uint64_t at = last.startedBytes + std::min(moved - moved % device->blockAlign, last.lengthBytes);
    return at > device->deviceHeldBytes ? at - device->deviceHeldBytes : 0;
}

// Bytes played since the write, by the device's own measure.
std::uint64_t playedBytes(HWAVEOUT device) {
    if (device->playing.load(std::memory_order_acquire) == nullptr) {
        return 0;
    }
    if (device->kind == HWAVEOUT__::Kind::live) {
        return heardBytes(device);
    }
    const std::uint64_t elapsed = platform::kernel::clockNowNs() - device->writeNs;
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

void logNoDevice(const std::string& why) {
    char line[320];
    std::snprintf(line, sizeof line,
                  "waveOutOpen: no audio device opens (%s); playing silently, paced by the wall clock\n", why.c_str());
    logLine(line);
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
    if (platform::kernel::runMode() == platform::kernel::RunMode::virtualRun) {
        device->kind = HWAVEOUT__::Kind::virtualSink;
        std::lock_guard lock(sinkMutex);
        virtualDevice = device;
        lastOpenFellBack = false;
    } else if (platform::winmm::audio::Opened opened{};
               platform::winmm::audio::open(*format, fillFromHeader, device, opened)) {
        device->kind = HWAVEOUT__::Kind::live;
        device->liveDevice = opened.id;
        device->bufferBytes = opened.bufferBytes;
        device->deviceHeldBytes = opened.heldBytes;
        lastOpenFellBack = false;
    } else {
        logNoDevice(opened.why);
        device->kind = HWAVEOUT__::Kind::nullSink;
        lastOpenFellBack = true;
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
    if (device->kind == HWAVEOUT__::Kind::live) {
        // The callback alone writes the stamp while it runs.
        platform::winmm::audio::lock(device->liveDevice);
    }
    {
        std::lock_guard lock(sinkMutex);
        device->writeNs = platform::kernel::clockNowNs();
        device->keptUpTo = 0;
        device->consumed.store(0);
        publish(device->stamp, {});
        device->playing.store(header, std::memory_order_release);
    }
    if (device->kind == HWAVEOUT__::Kind::live) {
        platform::winmm::audio::unlock(device->liveDevice);
    }
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
    if (device->kind == HWAVEOUT__::Kind::live) {
        // The callback must not be inside the header while it is taken away.
        platform::winmm::audio::lock(device->liveDevice);
    }
    std::unique_lock lock(sinkMutex);
    if (device->kind == HWAVEOUT__::Kind::virtualSink) {
        catchUp(device, playedBytes(device));
    }
    WAVEHDR* h = device->playing.exchange(nullptr);
    device->consumed.store(0);
    publish(device->stamp, {});
    device->keptUpTo = 0;
    lock.unlock();
    if (device->kind == HWAVEOUT__::Kind::live) {
        platform::winmm::audio::unlock(device->liveDevice);
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
    if (device->kind == HWAVEOUT__::Kind::live) {
        platform::winmm::audio::close(device->liveDevice);
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

namespace platform::winmm {

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

bool waveOutCopiedBytes(HWAVEOUT device, std::uint64_t& copiedBytes, std::uint64_t& bufferBytes) {
    if (device == nullptr || device->kind != HWAVEOUT__::Kind::live) {
        return false;
    }
    copiedBytes = device->consumed.load(std::memory_order_acquire);
    bufferBytes = device->bufferBytes;
    return true;
}

} // namespace platform::winmm
