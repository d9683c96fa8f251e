// The music's owner and the timeline's source of the song position.
//
// Construction installs the memory source over the song block, opens the
// output at 44,100 Hz and loads the module; start waits 0.1 s and starts
// playback; order and row report the position recorded for the block the
// device is playing now (0 when the song did not load); shutdown stops and
// frees everything. The main thread makes all these calls.
#pragma once

#include "music/module.h"
#include "platform/kernel/windef.h"

#include <cstddef>

namespace music {

class SongClock {
  public:
    SongClock(const void* song, std::size_t size);
    ~SongClock();
    SongClock(const SongClock&) = delete;
    SongClock& operator=(const SongClock&) = delete;

    void start();
    int order() const;
    int row() const;
    void shutdown();
    // The loaded song, or null when it did not load.
    const Module* module() const { return module_; }

  private:
    Module* module_ = nullptr;
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER startCount_{};
    bool outputOpen_ = false;
};

} // namespace music
