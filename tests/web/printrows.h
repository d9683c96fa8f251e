// Prints 32-bit pixels (their low 24 bits) as text, one line per row, in runs
// ("count*rrggbb"): small enough that Node.js passes all of it on before the
// program exits (a pipe's pending writes are dropped at exit).
#pragma once

#include <cstdint>
#include <cstdio>

inline void printRows(const std::uint32_t* pixels, int width, int height) {
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * width;
        for (int x = 0; x < width;) {
            int run = 1;
            while (x + run < width && ((row[x + run] ^ row[x]) & 0xFFFFFFu) == 0) {
                ++run;
            }
            std::printf("%d*%06x ", run, row[x] & 0xFFFFFFu);
            x += run;
        }
        std::printf("\n");
    }
}
