#include "texgen/convolution.h"

#include <array>
#include <numeric>

namespace texgen {

namespace {

constexpr std::array<int, 25> kBlurKernel = {
    1, 1, 2, 1, 1,
    1, 2, 2, 2, 1,
    2, 2, 3, 2, 2,
    1, 2, 2, 2, 1,
    1, 1, 2, 1, 1,
};

constexpr std::array<int, 9> kSharpenKernel = {
    0, -2, 0,
    -2, 11, -2,
    0, -2, 0,
};

constexpr std::array<std::array<int, 9>, 6> kFilterKernels = {{
    {-1, 0, -1, 0, 4, 0, -1, 0, -1},
    {0, -1, 0, -1, 4, -1, 0, -1, 0},
    {-1, -1, -1, -1, 8, -1, -1, -1, -1},
    {1, -2, 1, -2, 4, -2, -2, 1, -2},
    {0, 0, 0, -1, 2, -1, 0, 0, 0},
    {0, -1, 0, 0, 0, 0, 0, 1, 0},
}};

int weightedSum(const Plane& plane, int x, int y, std::span<const int> kernel, int n)
{
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

int convolvePoint(const Plane& plane, int x, int y, std::span<const int> kernel, int n)
{
    const int sum = weightedSum(plane, x, y, kernel, n);
    const int kernelSum = std::accumulate(kernel.begin(), kernel.end(), 0);
    // Integer division truncates toward zero, as the quotient of the two sums does.
    return kernelSum != 0 ? sum / kernelSum : sum;
}

void repeatFilter(Plane& out, unsigned passes, const Plane* mask, std::span<const int> kernel,
                  int n, const Plane& source)
{
    Plane work = source;
    for (unsigned pass = 0; pass < 8; ++pass) {
        for (int y = 0; y < kPlaneSide; ++y) {
            for (int x = 0; x < kPlaneSide; ++x) {
                const unsigned limit = mask != nullptr ? mask->at(x, y) >> 5 : passes;
                out.at(x, y) = pass < limit ? clampByte(convolvePoint(work, x, y, kernel, n))
                                            : work.at(x, y);
            }
        }
        work = out;
    }
}

void blur(Plane& out, unsigned passes, const Plane& source, const Plane* mask)
{
    repeatFilter(out, passes, mask, kBlurKernel, 5, source);
}

void sharpen(Plane& out, unsigned passes, const Plane& source, const Plane* mask)
{
    repeatFilter(out, passes, mask, kSharpenKernel, 3, source);
}

void convolvePlane(Plane& out, const Plane& source, std::span<const int> kernel, int n,
                   int divisor, int bias)
{
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

void filter3x3(Plane& out, unsigned kernelNumber, const Plane& source)
{
    if (kernelNumber >= kFilterKernels.size()) {
        out = source;
        return;
    }
    convolvePlane(out, source, kFilterKernels[kernelNumber], 3, 1, 127);
}

} // namespace texgen
