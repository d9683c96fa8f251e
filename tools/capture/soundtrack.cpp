#include "tools/capture/soundtrack.h"

#include "platform/winmm/wavesink.h"

#include <algorithm>
#include <vector>

namespace capture {
namespace {

constexpr std::uint64_t kNsPerSecond = 1'000'000'000;

} // namespace

std::uint64_t SoundTrack::framesFor(long gridFrames, int fps) const {
    const auto perSecond = static_cast<std::uint64_t>(fps);
    return (static_cast<std::uint64_t>(gridFrames) * rate_ + perSecond / 2) / perSecond;
}

bool SoundTrack::pump(std::uint64_t capFrames, std::string& why) {
    const std::vector<std::uint8_t> pcm = platform::winmm::takeWaveOutPcm();
    if (!started_) {
        std::uint64_t writeNs = 0;
        if (!platform::winmm::virtualSinkStart(writeNs, rate_, channels_)) {
            return true;
        }
        started_ = true;
        const std::uint64_t silent = std::min((writeNs * rate_ + kNsPerSecond / 2) / kNsPerSecond, capFrames);
        if (!sink_.appendSilence(silent, channels_, why)) {
            return false;
        }
        frames_ = silent;
    }
    const std::uint64_t room = capFrames > frames_ ? capFrames - frames_ : 0;
    const std::uint64_t take = std::min<std::uint64_t>(pcm.size() / frameBytes(), room);
    if (!sink_.append(pcm.data(), static_cast<std::size_t>(take * frameBytes()), why)) {
        return false;
    }
    frames_ += take;
    return true;
}

bool SoundTrack::finish(std::uint64_t frames, std::string& why) {
    if (!pump(frames, why)) {
        return false;
    }
    const bool ok = frames_ > frames ? sink_.truncate(frames * frameBytes(), why)
                                     : sink_.appendSilence(frames - frames_, channels_, why);
    frames_ = frames;
    return ok;
}

} // namespace capture
