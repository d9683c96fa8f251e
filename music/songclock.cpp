#include "music/songclock.h"

#include "debuglog/log.h"
#include "music/output.h"
#include "music/xmloader.h"
#include "platform/kernel/kernel.h"

namespace music {

SongClock::SongClock(const void* song, std::size_t size) {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&startCount_);
    useMemorySource(song, size);
    outputOpen_ = openOutput(kOutputRate, 0);
    if (!outputOpen_) {
        logPrintf("song clock: no audio output");
    }
    module_ = loadModule();
    if (module_ == nullptr) {
        logPrintf("song clock: the song did not load");
    }
}

SongClock::~SongClock() {
    shutdown();
}

void SongClock::start() {
    if (module_ == nullptr) {
        return;
    }
    // The 0.1 s pause before the music starts, timed on the performance counter.
    QueryPerformanceCounter(&startCount_);
    LARGE_INTEGER now{};
    do {
        QueryPerformanceCounter(&now);
    } while (now.QuadPart - startCount_.QuadPart < frequency_.QuadPart / 10);
    QueryPerformanceCounter(&startCount_);
    startPlayback(module_);
}

int SongClock::order() const {
    return currentOrder(module_);
}
int SongClock::row() const {
    return currentRow(module_);
}

void SongClock::shutdown() {
    freeModule(module_);
    module_ = nullptr;
    if (outputOpen_) {
        closeOutput();
        outputOpen_ = false;
    }
}

} // namespace music
