// Puts presented frames on the capture's time grid.
//
// Grid frame n stands for show time n / fps and shows what was on screen
// then: the picture presented nearest to that time, held until the next one
// (a display shows a frame until it is replaced). Before the first present
// the screen is black. Pictures presented within the same grid step replace
// each other, so only the last of them is kept.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace capture {

class FrameGrid {
  public:
    // Frames first..end-1 are handed to `emit` (grid number, RGBA bytes), in order.
    using Emit = std::function<void(long frame, const std::uint8_t* rgba)>;
    FrameGrid(int fps, std::uint32_t width, std::uint32_t height, long first, long end, Emit emit);

    // A picture presented at clock time presentNs (width x height RGBA).
    // Emits the grid frames before it that are now decided.
    void presented(std::uint64_t presentNs, const std::uint8_t* rgba);
    // Emits the remaining frames up to (not including) `end`, holding the last picture.
    void finish(long end);
    // True once every frame before `end` has been emitted.
    bool done() const { return next_ >= end_; }
    long next() const { return next_; }

    // The grid frame nearest to clock time ns.
    static long frameAt(std::uint64_t ns, int fps);

  private:
    void emitUpTo(long stop);

    int fps_;
    long end_;
    long next_;
    long first_;
    Emit emit_;
    std::vector<std::uint8_t> held_;
};

} // namespace capture
