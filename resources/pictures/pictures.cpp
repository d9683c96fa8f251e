#include "resources/pictures/pictures.h"

#include <cstddef>

// The generated files come in through the assembler's .incbin: megabytes of
// pixels written out as a C++ initialiser would cost the compiler minutes.
// RIZA3V_LOGO_RGB and RIZA3V_STRIPS_RGB are their paths, set by the build.
// WebAssembly objects (the browser build) keep each data symbol in a section
// of its own, with a type and a size; ELF objects take the plain form.
#if defined(__wasm__)
#define RIZA3V_EMBED(name, path)                                                                                       \
    ".section .rodata." #name ",\"\",@\n"                                                                              \
    ".p2align 4\n"                                                                                                     \
    ".globl " #name "\n"                                                                                               \
    ".type " #name ",@object\n" #name ":\n"                                                                            \
    ".incbin \"" path "\"\n"                                                                                           \
    ".globl " #name "End\n"                                                                                            \
    ".type " #name "End,@object\n" #name "End:\n"                                                                      \
    ".size " #name ", " #name "End - " #name "\n"                                                                      \
    ".size " #name "End, 0\n"
asm(RIZA3V_EMBED(kRiza3vLogoRgb, RIZA3V_LOGO_RGB) RIZA3V_EMBED(kRiza3vStripsRgb, RIZA3V_STRIPS_RGB));
#else
asm(".pushsection .rodata\n"
    ".balign 16\n"
    "kRiza3vLogoRgb:\n"
    ".incbin \"" RIZA3V_LOGO_RGB "\"\n"
    "kRiza3vLogoRgbEnd:\n"
    ".balign 16\n"
    "kRiza3vStripsRgb:\n"
    ".incbin \"" RIZA3V_STRIPS_RGB "\"\n"
    "kRiza3vStripsRgbEnd:\n"
    ".popsection\n");
#endif

extern "C" {
extern const unsigned char kRiza3vLogoRgb[];
extern const unsigned char kRiza3vLogoRgbEnd[];
extern const unsigned char kRiza3vStripsRgb[];
extern const unsigned char kRiza3vStripsRgbEnd[];
}

namespace resources {

std::vector<std::uint8_t> logoPicture() {
    return {kRiza3vLogoRgb, kRiza3vLogoRgbEnd};
}

std::vector<std::uint8_t> stripPictures() {
    return {kRiza3vStripsRgb, kRiza3vStripsRgbEnd};
}

std::vector<std::uint32_t> toPixels32(const std::uint8_t* rgb, int width, int height) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::uint8_t* p = rgb + i * 3;
        pixels[i] = 0xFF000000u | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]};
    }
    return pixels;
}

} // namespace resources
