// The show's sound laid on show time, as a capture keeps it: silence until
// the first frame the virtual wave-out played (which sounds at the sink's
// first write time, so it lands there, rounded to the nearest track frame),
// then the played PCM in order, never past the length asked for.
#pragma once

#include "music/output.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace capture {

class SoundTrack {
  public:
    // Where the track's frames go (interleaved 16-bit PCM). Each call
    // returns false with a reason when it fails.
    class Sink {
      public:
        virtual ~Sink() = default;
        virtual bool appendSilence(std::uint64_t frames, std::uint32_t channels, std::string& why) = 0;
        virtual bool append(const std::uint8_t* bytes, std::size_t size, std::string& why) = 0;
        virtual bool truncate(std::uint64_t bytes, std::string& why) = 0;
    };

    explicit SoundTrack(Sink& sink) : sink_(sink) {}

    // Track frames up to grid frame `gridFrames` of a grid at fps, rounded
    // to the nearest.
    std::uint64_t framesFor(long gridFrames, int fps) const;
    // Moves the sound played so far onto the track, up to capFrames track
    // frames in all; what lies beyond is dropped.
    bool pump(std::uint64_t capFrames, std::string& why);
    // Pumps, then makes the track exactly `frames` long: silence after the
    // last played frame, or the end cut off.
    bool finish(std::uint64_t frames, std::string& why);

    std::uint32_t rate() const { return rate_; }
    std::uint32_t channels() const { return channels_; }

  private:
    // 16-bit samples, one per channel.
    std::uint64_t frameBytes() const { return std::uint64_t{channels_} * 2; }

    Sink& sink_;
    bool started_ = false;
    std::uint32_t rate_ = music::kOutputRate;
    std::uint32_t channels_ = 2;
    std::uint64_t frames_ = 0; // on the track so far
};

} // namespace capture
