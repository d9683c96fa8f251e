// Start-up settings handed from runDemo to the display setup.
#pragma once

#include <cstdint>

// Eight 32-bit slots; the one-byte flags sit in the low byte of their slot.
struct DemoSettings {
    alignas(4) std::uint8_t showSetupDialog;
    const char* caption;
    alignas(4) std::uint8_t hardwareVertexProcessing;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t refreshRate;
    std::uint32_t backBufferFormat; // a D3DFORMAT code
    alignas(4) std::uint8_t windowed;
};
