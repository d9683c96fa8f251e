// A 16-bit PCM WAV file written as the sound comes in, and the placing of the
// show's sound on show time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace capture {

// RIFF WAVE with one "fmt " chunk (PCM, 16 bits) and one "data" chunk. The
// header is written first and its sizes and format filled in by finish().
class WavFile {
  public:
    ~WavFile();
    // False with the system's reason when the file cannot be created.
    bool open(const std::string& path, std::string& why);
    // Appends interleaved 16-bit little-endian frames; false on a failed write.
    bool append(const std::uint8_t* bytes, std::size_t size, std::string& why);
    bool appendSilence(std::uint64_t frames, std::uint32_t channels, std::string& why);
    // Cuts the data back to `bytes` (no more than written so far).
    bool truncate(std::uint64_t bytes, std::string& why);
    // Writes the final header and closes the file.
    bool finish(std::uint32_t framesPerSecond, std::uint32_t channels, std::string& why);
    std::uint64_t dataBytes() const { return dataBytes_; }

  private:
    std::FILE* file_ = nullptr;
    std::uint64_t dataBytes_ = 0;
};

// The 44-byte header for `dataBytes` bytes of 16-bit PCM.
std::vector<std::uint8_t> wavHeader(std::uint32_t framesPerSecond, std::uint32_t channels, std::uint32_t dataBytes);

// Where the sink's PCM goes in a track that starts at show time 0: the first
// played frame sounds at writeNs, so it lands at writeNs * rate / 1e9,
// rounded to the nearest frame.
std::uint64_t trackFrameAt(std::uint64_t ns, std::uint32_t framesPerSecond);

} // namespace capture
