#include "tools/wavfile/wavfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace wavfile {
namespace {

// Little-endian fields into a fixed header, front to back.
struct HeaderWriter {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(44);
    std::size_t at = 0;
    void put16(std::uint32_t v) {
        bytes[at++] = static_cast<std::uint8_t>(v);
        bytes[at++] = static_cast<std::uint8_t>(v >> 8);
    }
    void put32(std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    }
    void tag(const char (&name)[5]) {
        for (int i = 0; i < 4; ++i) {
            bytes[at++] = static_cast<std::uint8_t>(name[i]);
        }
    }
};

} // namespace

std::vector<std::uint8_t> wavHeader(std::uint32_t framesPerSecond, std::uint32_t channels, std::uint32_t dataBytes) {
    const std::uint32_t blockAlign = channels * 2;
    HeaderWriter h;
    h.tag("RIFF");
    h.put32(36 + dataBytes);
    h.tag("WAVE");
    h.tag("fmt ");
    h.put32(16);
    h.put16(1); // WAVE_FORMAT_PCM
    h.put16(channels);
    h.put32(framesPerSecond);
    h.put32(framesPerSecond * blockAlign);
    h.put16(blockAlign);
    h.put16(16);
    h.tag("data");
    h.put32(dataBytes);
    return h.bytes;
}

WavFile::~WavFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

bool WavFile::open(const std::string& path, std::string& why) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        why = std::strerror(errno);
        return false;
    }
    // A placeholder: finish() writes the real sizes and format over it.
    const std::vector<std::uint8_t> header = wavHeader(0, 0, 0);
    if (!append(header.data(), header.size(), why)) {
        return false;
    }
    dataBytes_ = 0;
    return true;
}

bool WavFile::append(const std::uint8_t* bytes, std::size_t size, std::string& why) {
    if (size > 0 && std::fwrite(bytes, 1, size, file_) != size) {
        why = std::strerror(errno);
        return false;
    }
    dataBytes_ += size;
    return true;
}

bool WavFile::appendSilence(std::uint64_t frames, std::uint32_t channels, std::string& why) {
    static const std::vector<std::uint8_t> zeros(1 << 16, 0);
    std::uint64_t left = frames * channels * 2;
    while (left > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
        if (!append(zeros.data(), n, why)) {
            return false;
        }
        left -= n;
    }
    return true;
}

bool WavFile::truncate(std::uint64_t bytes, std::string& why) {
    const auto size = static_cast<off_t>(wavHeader(0, 0, 0).size() + bytes);
    if (std::fflush(file_) != 0 || ftruncate(fileno(file_), size) != 0 || std::fseek(file_, 0, SEEK_END) != 0) {
        why = std::strerror(errno);
        return false;
    }
    dataBytes_ = bytes;
    return true;
}

bool WavFile::finish(std::uint32_t framesPerSecond, std::uint32_t channels, std::string& why) {
    const std::vector<std::uint8_t> header =
        wavHeader(framesPerSecond, channels, static_cast<std::uint32_t>(dataBytes_));
    bool ok =
        std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(header.data(), 1, header.size(), file_) == header.size();
    ok = std::fflush(file_) == 0 && ok;
    if (!ok) {
        why = std::strerror(errno);
    }
    if (std::fclose(file_) != 0 && ok) {
        why = std::strerror(errno);
        ok = false;
    }
    file_ = nullptr;
    return ok;
}

bool readWav(const std::string& path, Sound& sound, std::string& why) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        why = std::strerror(errno);
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    std::fclose(f);
    auto u16 = [&](std::size_t at) { return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8); };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    auto tagIs = [&](std::size_t at, const char* tag) { return std::memcmp(&bytes[at], tag, 4) == 0; };
    if (bytes.size() < 12 || !tagIs(0, "RIFF") || !tagIs(8, "WAVE")) {
        why = "not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false;
    // Chunks follow one another, each padded to an even size.
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::size_t size = u32(at + 4);
        const std::size_t body = at + 8;
        if (size > bytes.size() - body) {
            why = "a chunk runs past the end of the file";
            return false;
        }
        if (tagIs(at, "fmt ") && size >= 16) {
            if (u16(body) != 1 || u16(body + 14) != 16 || u16(body + 2) == 0) {
                why = "not 16-bit PCM";
                return false;
            }
            sound.channels = u16(body + 2);
            sound.framesPerSecond = u32(body + 4);
            haveFormat = true;
        } else if (tagIs(at, "data") && haveFormat) {
            sound.samples.resize(size / 2);
            for (std::size_t i = 0; i < sound.samples.size(); ++i) {
                sound.samples[i] = static_cast<std::int16_t>(u16(body + 2 * i));
            }
            return true;
        }
        at = body + size + (size & 1);
    }
    why = haveFormat ? "no data chunk" : "no format chunk before the data";
    return false;
}

} // namespace wavfile
