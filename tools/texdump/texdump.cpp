// texdump: runs texture programs and writes what they make as PNG files, so
// that a person can look at them.
//
//   texdump OUTDIR             all five embedded programs
//   texdump OUTDIR N           embedded program N (1..5)
//   texdump OUTDIR hex BYTES   a program given as hex bytes ("0c18550100..." or
//                              "0c 18 55 ...", spread over any number of arguments)
//
// For each program NAME (program1..program5, or "custom") it writes
// NAME.png (RGBA), NAME_rgb.png (the colour channels, opaque) and
// NAME_red.png, NAME_green.png, NAME_blue.png, NAME_alpha.png (greyscale).
// Exit status 0 when every program ran and every file was written; --help or
// -h prints the usage on standard output.

#include "resources/texprograms/texprograms.h"
#include "texgen/program.h"
#include "tools/pngfile/pngfile.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 256;
constexpr std::size_t kPitch = 1024;

bool writePng(const std::string& path, const std::vector<std::uint8_t>& data, int channels) {
    std::string why;
    if (!pngfile::writePng(path, kSide, kSide, channels, data.data(), &why)) {
        std::fprintf(stderr, "texdump: cannot write %s: %s\n", path.c_str(), why.c_str());
        return false;
    }
    return true;
}

// Writes the pixels (A8R8G8B8 little-endian, pitch 1,024) as the six files of `name`.
bool writeImages(const std::string& dir, const std::string& name, const std::vector<std::uint8_t>& pixels) {
    const std::size_t count = static_cast<std::size_t>(kSide) * kSide;
    std::vector<std::uint8_t> rgba(count * 4);
    std::vector<std::uint8_t> rgb(count * 3);
    // Byte k of each stored pixel for red, green, blue, alpha.
    constexpr std::array<std::size_t, 4> kByte = {2, 1, 0, 3};
    std::array<std::vector<std::uint8_t>, 4> channels;
    for (auto& c : channels) {
        c.resize(count);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t src = (i / kSide) * kPitch + (i % kSide) * 4;
        for (std::size_t c = 0; c < 4; ++c) {
            const std::uint8_t v = pixels[src + kByte[c]];
            rgba[i * 4 + c] = v;
            channels[c][i] = v;
            if (c < 3) {
                rgb[i * 3 + c] = v;
            }
        }
    }
    const std::string base = dir + "/" + name;
    bool ok = writePng(base + ".png", rgba, 4);
    ok = writePng(base + "_rgb.png", rgb, 3) && ok;
    const std::array<const char*, 4> suffix = {"_red", "_green", "_blue", "_alpha"};
    for (std::size_t c = 0; c < 4; ++c) {
        ok = writePng(base + suffix[c] + ".png", channels[c], 1) && ok;
    }
    return ok;
}

bool dump(const std::string& dir, const std::string& name, std::span<const std::uint8_t> program) {
    std::vector<std::uint8_t> pixels(kPitch * kSide);
    if (!texgen::runTextureProgram(program, pixels.data(), kPitch)) {
        std::fprintf(stderr, "texdump: %s is not a valid texture program\n", name.c_str());
        return false;
    }
    if (!writeImages(dir, name, pixels)) {
        return false;
    }
    std::printf("%s/%s.png\n", dir.c_str(), name.c_str());
    return true;
}

// Hex digits of all the arguments, ignoring spaces; false on anything else.
bool parseHex(int argc, char** argv, int first, std::vector<std::uint8_t>& bytes) {
    std::string digits;
    for (int i = first; i < argc; ++i) {
        for (const char* p = argv[i]; *p != '\0'; ++p) {
            if (std::isxdigit(static_cast<unsigned char>(*p)) != 0) {
                digits += *p;
            } else if (std::isspace(static_cast<unsigned char>(*p)) == 0) {
                return false;
            }
        }
    }
    if (digits.empty() || digits.size() % 2 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return true;
}

constexpr const char* kUsage = "usage: texdump OUTDIR [N | hex BYTES...]\n"
                               "  runs the texture programs (all five, program N from 1 to 5, or a program given\n"
                               "  as hex bytes) and writes each result into OUTDIR as NAME.png (RGBA),\n"
                               "  NAME_rgb.png and one greyscale picture per channel\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2) {
        return usage();
    }
    const std::string dir = argv[1];
    if (argc == 2) {
        bool ok = true;
        for (int n = 1; n <= resources::kTextureProgramCount; ++n) {
            ok = dump(dir, "program" + std::to_string(n), resources::textureProgram(n)) && ok;
        }
        return ok ? 0 : 1;
    }
    if (std::string(argv[2]) == "hex") {
        std::vector<std::uint8_t> bytes;
        if (!parseHex(argc, argv, 3, bytes)) {
            return usage();
        }
        return dump(dir, "custom", bytes) ? 0 : 1;
    }
    const int n = std::atoi(argv[2]);
    if (argc != 3 || n < 1 || n > resources::kTextureProgramCount) {
        return usage();
    }
    return dump(dir, "program" + std::to_string(n), resources::textureProgram(n)) ? 0 : 1;
}
