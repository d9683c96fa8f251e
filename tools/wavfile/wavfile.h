// 16-bit PCM WAV files, written as the sound comes in: the one writer that the
// sound renderer and the capture tool share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace wavfile {

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

// The sound of a 16-bit PCM WAV file: interleaved samples, `channels` a frame.
struct Sound {
    std::uint32_t framesPerSecond = 0;
    std::uint32_t channels = 0;
    std::vector<std::int16_t> samples;
};

// Reads a RIFF WAVE file of 16-bit PCM, skipping chunks other than "fmt " and
// "data". False with a reason for anything else, or a file cut short.
bool readWav(const std::string& path, Sound& sound, std::string& why);

} // namespace wavfile
