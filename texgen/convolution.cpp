#include "texgen/convolution.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

namespace texgen {

namespace {

constexpr std::array<int, 25> kBlurKernel = {
    1, 1, 2, 1, 1, 1, 2, 2, 2, 1, 2, 2, 3, 2, 2, 1, 2, 2, 2, 1, 1, 1, 2, 1, 1,
};

constexpr std::array<int, 9> kSharpenKernel = {
    0, -2, 0, -2, 11, -2, 0, -2, 0,
};

constexpr std::array<std::array<int, 9>, 6> kFilterKernels = {{
    {-1, 0, -1, 0, 4, 0, -1, 0, -1},
    {0, -1, 0, -1, 4, -1, 0, -1, 0},
    {-1, -1, -1, -1, 8, -1, -1, -1, -1},
    {1, -2, 1, -2, 4, -2, -2, 1, -2},
    {0, 0, 0, -1, 2, -1, 0, 0, 0},
    {0, -1, 0, 0, 0, 0, 0, 1, 0},
}};

int weightedSum(const Plane& plane, int x, int y, std::span<const int> kernel, int n) {
    const int h = n / 2;
    int sum = 0;
    for (int k = 0; k < n; ++k) {
        for (int j = 0; j < n; ++j) {
            sum += plane.at(x - h + j, y - h + k) * kernel[static_cast<std::size_t>(k * n + j)];
        }
    }
    return sum;
}

} // namespace

int convolvePoint(const Plane& plane, int x, int y, std::span<const int> kernel, int n) {
    const int sum = weightedSum(plane, x, y, kernel, n);
    const int kernelSum = std::accumulate(kernel.begin(), kernel.end(), 0);
    // Integer division truncates toward zero, as the quotient of the two sums does.
    return kernelSum != 0 ? sum / kernelSum : sum;
}

namespace {

// The passes of repeatFilter after the first `done`, with sums kept in T
// (narrow enough for the compiler to work on many pixels at once, wide
// enough for every partial sum of the kernel).
template <typename T>
void filterPasses(Plane& out, unsigned passes, unsigned lastPass, const Plane* mask, std::span<const int> kernel, int n,
                  std::span<const std::uint8_t> quotient, int lowest) {
    const auto weight = [&](int k, int j) { return kernel[static_cast<std::size_t>(k * n + j)]; };
    // Kernel rows with the same weights (the blur's are symmetric) are summed
    // first and weighted once.
    std::vector<std::vector<int>> sameRows;
    for (int k = 0; k < n; ++k) {
        auto group = std::find_if(sameRows.begin(), sameRows.end(), [&](const std::vector<int>& g) {
            for (int j = 0; j < n; ++j) {
                if (weight(g.front(), j) != weight(k, j)) {
                    return false;
                }
            }
            return true;
        });
        if (group == sameRows.end()) {
            sameRows.push_back({k});
        } else {
            group->push_back(k);
        }
    }

    // The plane with n - 1 wrapped rows and columns around it, so that each
    // kernel tap reads a plain run of 256 values.
    const int h = n / 2;
    const std::size_t side = static_cast<std::size_t>(kPlaneSide + n - 1);
    std::vector<T> padded(side * side);
    std::vector<T> rowSum(side);
    std::array<T, kPlaneSide> sums{};
    Plane work = out;
    for (unsigned pass = 0; pass < lastPass; ++pass) {
        for (std::size_t py = 0; py < side; ++py) {
            for (std::size_t px = 0; px < side; ++px) {
                padded[py * side + px] = work.at(static_cast<int>(px) - h, static_cast<int>(py) - h);
            }
        }
        for (int y = 0; y < kPlaneSide; ++y) {
            sums.fill(0);
            for (const std::vector<int>& group : sameRows) {
                const auto padRow = [&](int k) { return &padded[static_cast<std::size_t>(y + k) * side]; };
                const T* rows = padRow(group.front());
                if (group.size() > 1) {
                    std::copy_n(rows, side, rowSum.begin());
                    for (std::size_t g = 1; g < group.size(); ++g) {
                        const T* next = padRow(group[g]);
                        for (std::size_t x = 0; x < side; ++x) {
                            rowSum[x] = static_cast<T>(rowSum[x] + next[x]);
                        }
                    }
                    rows = rowSum.data();
                }
                for (int j = 0; j < n; ++j) {
                    const int w = weight(group.front(), j);
                    if (w == 0) {
                        continue;
                    }
                    const T* tap = rows + j;
                    for (std::size_t x = 0; x < kPlaneSide; ++x) {
                        sums[x] = static_cast<T>(sums[x] + w * tap[x]);
                    }
                }
            }
            for (int x = 0; x < kPlaneSide; ++x) {
                const unsigned limit = mask != nullptr ? mask->at(x, y) >> 5 : passes;
                if (pass < limit) {
                    out.at(x, y) = quotient[static_cast<std::size_t>(sums[static_cast<std::size_t>(x)] - lowest)];
                }
            }
        }
        work = out;
    }
}

} // namespace

void repeatFilter(Plane& out, unsigned passes, const Plane* mask, std::span<const int> kernel, int n,
                  const Plane& source) {
    // Pixels whose limit is below the pass number keep their value, so passes
    // beyond the highest limit change nothing and are left out.
    unsigned lastPass = std::min(passes, 8u);
    if (mask != nullptr) {
        lastPass = static_cast<unsigned>(*std::max_element(mask->pixels.begin(), mask->pixels.end()) >> 5);
    }
    out = source;
    if (lastPass == 0) {
        return;
    }

    // Every weighted sum lies in [lowest, highest]; the table maps each to the
    // clamped quotient, replacing a division per pixel with a look-up.
    int lowest = 0;
    int highest = 0;
    for (const int w : kernel) {
        (w < 0 ? lowest : highest) += 255 * w;
    }
    const int kernelSum = std::accumulate(kernel.begin(), kernel.end(), 0);
    std::vector<std::uint8_t> quotient(static_cast<std::size_t>(highest - lowest + 1));
    for (int sum = lowest; sum <= highest; ++sum) {
        quotient[static_cast<std::size_t>(sum - lowest)] = clampByte(kernelSum != 0 ? sum / kernelSum : sum);
    }

    if (highest - lowest <= std::numeric_limits<std::int16_t>::max()) {
        filterPasses<std::int16_t>(out, passes, lastPass, mask, kernel, n, quotient, lowest);
    } else {
        filterPasses<int>(out, passes, lastPass, mask, kernel, n, quotient, lowest);
    }
}

void blur(Plane& out, unsigned passes, const Plane& source, const Plane* mask) {
    repeatFilter(out, passes, mask, kBlurKernel, 5, source);
}

void sharpen(Plane& out, unsigned passes, const Plane& source, const Plane* mask) {
    repeatFilter(out, passes, mask, kSharpenKernel, 3, source);
}

void convolvePlane(Plane& out, const Plane& source, std::span<const int> kernel, int n, int divisor, int bias) {
    if (divisor == -1) {
        divisor = std::accumulate(kernel.begin(), kernel.end(), 0);
    }
    for (int y = 0; y < kPlaneSide; ++y) {
        for (int x = 0; x < kPlaneSide; ++x) {
            const int v = weightedSum(source, x, y, kernel, n) + bias;
            out.at(x, y) = clampByte(divisor != 0 ? v / divisor : v);
        }
    }
}

void filter3x3(Plane& out, unsigned kernelNumber, const Plane& source) {
    if (kernelNumber >= kFilterKernels.size()) {
        out = source;
        return;
    }
    convolvePlane(out, source, kFilterKernels[kernelNumber], 3, 1, 127);
}

} // namespace texgen
