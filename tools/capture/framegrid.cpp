#include "tools/capture/framegrid.h"

#include <algorithm>
#include <utility>

namespace capture {

FrameGrid::FrameGrid(int fps, std::uint32_t width, std::uint32_t height, long first, long end, Emit emit)
    : fps_(fps), end_(end), next_(0), first_(first), emit_(std::move(emit)),
      held_(static_cast<std::size_t>(width) * height * 4, 0) {
    for (std::size_t i = 3; i < held_.size(); i += 4) {
        held_[i] = 0xFF;
    }
}

long FrameGrid::frameAt(std::uint64_t ns, int fps) {
    // Rounded to the nearest frame in integers, so no run depends on float rounding.
    const std::uint64_t scaled = ns * static_cast<std::uint64_t>(fps);
    return static_cast<long>((scaled + 500'000'000u) / 1'000'000'000u);
}

void FrameGrid::emitUpTo(long stop) {
    stop = std::min(stop, end_);
    for (; next_ < stop; ++next_) {
        if (next_ >= first_) {
            emit_(next_, held_.data());
        }
    }
}

void FrameGrid::presented(std::uint64_t presentNs, const std::uint8_t* rgba) {
    emitUpTo(frameAt(presentNs, fps_));
    if (!done()) {
        std::copy(rgba, rgba + held_.size(), held_.begin());
    }
}

void FrameGrid::finish(long end) {
    emitUpTo(end);
}

} // namespace capture
