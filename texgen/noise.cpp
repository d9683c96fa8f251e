#include "texgen/noise.h"

#include "platform/crt/random.h"

#include <algorithm>
#include <array>

namespace texgen {

std::vector<float> noiseLattice(int fx, int fy, float amp) {
    std::vector<float> lattice(static_cast<std::size_t>(fx) * static_cast<std::size_t>(fy));
    for (float& v : lattice) {
        v = (static_cast<float>(platform::crt::rand()) - 16383.5f) * (1.0f / 16383.5f) * amp;
    }
    return lattice;
}

float cubicInterp(float t, float p0, float p1, float p2, float p3) {
    const float p = (p3 - p2) - (p0 - p1);
    const float q = (p0 - p1) - p;
    const float r = p2 - p0;
    const float t2 = t * t;
    const float t3 = t2 * t;
    return p * t3 + q * t2 + r * t + p1;
}

void accumulateCubic(std::span<float> accumulator, std::span<const float> lattice, int fx, int fy) {
    const int cw = kPlaneSide / fx;
    const int ch = kPlaneSide / fy;
    const auto at = [&](int row, int col) {
        return lattice[static_cast<std::size_t>((row & (fy - 1)) * fx + (col & (fx - 1)))];
    };
    // The horizontal interpolation of a pixel depends only on its column and
    // the lattice row, so each lattice row is interpolated across the plane
    // once and shared by all the rows that use it.
    std::array<int, kPlaneSide> cellX{};
    std::array<float, kPlaneSide> fractionX{};
    for (int x = 0; x < kPlaneSide; ++x) {
        cellX[static_cast<std::size_t>(x)] = x / cw;
        fractionX[static_cast<std::size_t>(x)] = static_cast<float>(x % cw) / static_cast<float>(cw);
    }
    std::vector<float> across(static_cast<std::size_t>(fy) * kPlaneSide);
    for (int row = 0; row < fy; ++row) {
        float* line = &across[static_cast<std::size_t>(row) * kPlaneSide];
        for (std::size_t x = 0; x < kPlaneSide; ++x) {
            const int lx = cellX[x];
            // At t = 0 the cubic is exactly p1; lattices as wide as the plane hit only that case.
            line[x] = fractionX[x] == 0.0f
                          ? at(row, lx)
                          : cubicInterp(fractionX[x], at(row, lx - 1), at(row, lx), at(row, lx + 1), at(row, lx + 2));
        }
    }
    const auto line = [&](int row) { return &across[static_cast<std::size_t>(row & (fy - 1)) * kPlaneSide]; };
    for (int y = 0; y < kPlaneSide; ++y) {
        const int ly = y / ch;
        const float ty = static_cast<float>(y % ch) / static_cast<float>(ch);
        const float* r0 = line(ly - 1);
        const float* r1 = line(ly);
        const float* r2 = line(ly + 1);
        const float* r3 = line(ly + 2);
        float* sum = &accumulator[Plane::index(0, y)];
        if (ty == 0.0f) {
            for (int x = 0; x < kPlaneSide; ++x) {
                sum[x] += r1[x];
            }
            continue;
        }
        for (int x = 0; x < kPlaneSide; ++x) {
            sum[x] += cubicInterp(ty, r0[x], r1[x], r2[x], r3[x]);
        }
    }
}

void floatsToBytes(Plane& out, std::span<const float> accumulator) {
    for (std::size_t i = 0; i < kPlaneSize; ++i) {
        const float v = std::clamp((accumulator[i] + 1.0f) * 127.0f, 0.0f, 255.0f);
        out.pixels[i] = static_cast<std::uint8_t>(static_cast<int>(v));
    }
}

void valueNoise(Plane& out, unsigned seed, unsigned size) {
    const auto latticeSide = [](unsigned n) { return n <= 8 ? 1 << n : 1; };
    const int fx = latticeSide(hiNibble(size));
    const int fy = latticeSide(loNibble(size));
    platform::crt::srand(seed);
    std::vector<float> accumulator(kPlaneSize, 0.0f);
    const std::vector<float> lattice = noiseLattice(fx, fy, 1.0f);
    accumulateCubic(accumulator, lattice, fx, fy);
    floatsToBytes(out, accumulator);
}

void fractalNoise(Plane& out, unsigned seed, unsigned base, unsigned reduction) {
    platform::crt::srand(seed);
    std::vector<float> accumulator(kPlaneSize, 0.0f);
    int fx = powerCount(hiNibble(base));
    int fy = powerCount(loNibble(base));
    float amp = 0.5f;
    const unsigned octaves = reduction >= 6 ? 0 : 6 - reduction;
    for (unsigned i = 0; i < octaves; ++i) {
        const std::vector<float> lattice = noiseLattice(fx, fy, amp);
        accumulateCubic(accumulator, lattice, fx, fy);
        amp *= 0.5f;
        fx = std::min(fx * 2, kPlaneSide);
        fy = std::min(fy * 2, kPlaneSide);
    }
    floatsToBytes(out, accumulator);
}

} // namespace texgen
