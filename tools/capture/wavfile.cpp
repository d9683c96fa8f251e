#include "tools/capture/wavfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace capture {
namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putTag(std::vector<std::uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

} // namespace

std::vector<std::uint8_t> wavHeader(std::uint32_t framesPerSecond, std::uint32_t channels, std::uint32_t dataBytes) {
    const std::uint32_t blockAlign = channels * 2;
    std::vector<std::uint8_t> h;
    putTag(h, "RIFF");
    put32(h, 36 + dataBytes);
    putTag(h, "WAVE");
    putTag(h, "fmt ");
    put32(h, 16);
    put16(h, 1); // WAVE_FORMAT_PCM
    put16(h, channels);
    put32(h, framesPerSecond);
    put32(h, framesPerSecond * blockAlign);
    put16(h, blockAlign);
    put16(h, 16);
    putTag(h, "data");
    put32(h, dataBytes);
    return h;
}

std::uint64_t trackFrameAt(std::uint64_t ns, std::uint32_t framesPerSecond) {
    return (ns * framesPerSecond + 500'000'000u) / 1'000'000'000u;
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

} // namespace capture
