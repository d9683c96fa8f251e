// The shapes that a frame splats into gridB: soft balls, signed particle
// balls, wandering tubes and the animated five-tube set.
#include "geometry/metamecklo.h"

#include "geometry/floatx4.h"
#include "platform/crt/random.h"

#include <algorithm>
#include <cmath>

namespace {

// Normalised coordinate of cell i of n: 0 at the first cell, 1 at the last.
float unit(int i, int n) {
    return static_cast<float>(i) / static_cast<float>(n - 1);
}

// 0..1 from one draw of the shared generator.
float draw() {
    return static_cast<float>(platform::crt::rand() & 0x7FFF) * 3.051851e-5f;
}

constexpr float kTwoPi = 6.2831855f;

// The five tubes' arguments at time t, in addTube's order.
struct TubeArguments {
    float v[11];
};

TubeArguments tubeArguments(const geometry::TubeConstants& tube, float t) {
    TubeArguments a{};
    for (int g = 0; g < 11; ++g) {
        const float phi = t * tube.rate[g] + tube.phase[g];
        a.v[g] = 0.1f * (tube.amplitude[g] * std::sin(phi + 0.1f) + tube.base[g]) + tube.amplitude[g] * std::sin(phi) +
                 tube.base[g];
    }
    return a;
}

// The carve's two tests: the first ball term positive (d^2 < 0.025) and the
// second not (d^2 >= 0.225).
bool inCore(float d2) {
    return 20.0f / (400.0f * d2 + 1.0f) - 1.8181818f > 0.0f;
}
bool outsideShell(float d2) {
    return 20.0f / (44.444441f * d2 + 1.0f) - 1.8181818f <= 0.0f;
}

// The core is small: the plain walk with its plane and row skips serves
// both versions.
void carveCore(FieldGrid& g) {
    for (int z = 0; z < g.nz; ++z) {
        const float dz = unit(z, g.nz) - 0.5f;
        if (!inCore(dz * dz)) {
            continue;
        }
        for (int y = 0; y < g.ny; ++y) {
            const float dy = unit(y, g.ny) - 0.5f;
            const float q = dz * dz + dy * dy;
            if (!inCore(q)) {
                continue;
            }
            for (int x = 0; x < g.nx; ++x) {
                const float dx = unit(x, g.nx) - 0.5f;
                if (inCore(q + dx * dx)) {
                    g.at(x, y, z) = 0.0f;
                }
            }
        }
    }
}

// Walks the cells of g within the ball's cut-off in y and z (whole rows along
// x) and hands each its ball value s / ((dx^2 + q) / r^2 + 1) - base.
template <typename Apply> void splat(FieldGrid& g, float r, float s, const float c[3], Apply apply) {
    const float r2 = r * r;
    const float inv = 1.0f / r2;
    const float cut = 10.0f * r2;
    const float base = s / (cut * inv + 1.0f);
    for (int y = 0; y < g.ny; ++y) {
        const float dy = unit(y, g.ny) - c[1];
        if (dy * dy > cut) {
            continue;
        }
        for (int z = 0; z < g.nz; ++z) {
            const float dz = unit(z, g.nz) - c[2];
            const float q = dy * dy + dz * dz;
            if (q > cut) {
                continue;
            }
            float* cells = &g.at(0, y, z);
            for (int x = 0; x < g.nx; ++x) {
                const float dx = unit(x, g.nx) - c[0];
                apply(cells[x], s / ((dx * dx + q) * inv + 1.0f) - base);
            }
        }
    }
}

} // namespace

void metamecklo::addBall(float radius, float strength, const float centre[3]) {
    splat(gridB, radius, strength, centre, [](float& cell, float v) {
        if (v < 0.5f) {
            cell += v;
        }
    });
}

void metamecklo::addSignedBall(float radius, float strength, const float centre[3]) {
    const bool add = strength > 0.0f;
    splat(gridB, radius, std::fabs(strength), centre, [add](float& cell, float v) {
        if (v > 0.0f) {
            cell += add ? v : -v;
        }
    });
}

namespace {

// The tube's cross-section in row y: its centre in x and z, its squared
// radius and its strength, both decaying with height.
struct TubeRow {
    float cx;
    float cz;
    float rho2;
    float strength;
};

TubeRow tubeRow(int y, int ny, float x0, float z0, float decay, float radius, float strength, float ampX, float freqX,
                float phaseX, float ampZ, float freqZ, float phaseZ) {
    const float t = unit(y, ny);
    const float e = std::exp(-t / decay);
    const float rho = radius * e;
    return TubeRow{x0 + ampX * std::sin(freqX * t + phaseX), z0 + ampZ * std::sin(freqZ * t + phaseZ), rho * rho,
                   strength * e};
}

} // namespace

void metamecklo::addTube(float x0, float z0, float decay, float radius, float strength, float ampX, float freqX,
                         float phaseX, float ampZ, float freqZ, float phaseZ) {
    using namespace geometry::fieldsimd;
    FieldGrid& g = gridB;
    // unit(x, nx) for every x, made with the object.
    const float* ux = xUnits.data();
    for (int y = 0; y < g.ny; ++y) {
        const auto [cx, cz, rho2, s] =
            tubeRow(y, g.ny, x0, z0, decay, radius, strength, ampX, freqX, phaseX, ampZ, freqZ, phaseZ);
        const floatx4 cx4 = splat(cx);
        const floatx4 rho24 = splat(rho2);
        const floatx4 s4 = splat(s);
        const floatx4 one = splat(1.0f);
        for (int z = 0; z < g.nz; ++z) {
            const float dz = cz - unit(z, g.nz);
            const float dz2 = dz * dz;
            const floatx4 dz24 = splat(dz2);
            float* cells = &g.at(0, y, z);
            int x = 0;
            for (; x + kLanes <= g.nx; x += kLanes) {
                const floatx4 dx = cx4 - load(ux + x);
                store(cells + x, load(cells + x) + s4 / ((dx * dx + dz24) / rho24 + one));
            }
            for (; x < g.nx; ++x) {
                const float dx = cx - ux[x];
                cells[x] += s / ((dx * dx + dz2) / rho2 + 1.0f);
            }
        }
    }
}

void metamecklo::addTubePlain(float x0, float z0, float decay, float radius, float strength, float ampX, float freqX,
                              float phaseX, float ampZ, float freqZ, float phaseZ) {
    FieldGrid& g = gridB;
    for (int y = 0; y < g.ny; ++y) {
        const auto [cx, cz, rho2, s] =
            tubeRow(y, g.ny, x0, z0, decay, radius, strength, ampX, freqX, phaseX, ampZ, freqZ, phaseZ);
        for (int z = 0; z < g.nz; ++z) {
            const float dz = cz - unit(z, g.nz);
            float* cells = &g.at(0, y, z);
            for (int x = 0; x < g.nx; ++x) {
                const float dx = cx - unit(x, g.nx);
                cells[x] += s / ((dx * dx + dz * dz) / rho2 + 1.0f);
            }
        }
    }
}

void metamecklo::initTubeSet() {
    for (geometry::TubeConstants& tube : tubes) {
        for (int g = 0; g < 11; ++g) {
            const float r1 = draw();
            const float r2 = draw();
            const float r3 = draw();
            const float r4 = draw();
            tube.phase[g] = kTwoPi * r2;
            tube.rate[g] = 1.5f * r3 + 0.5f;
            switch (g) {
            case 0:
            case 1:
                tube.base[g] = 0.2f * r1 + 0.4f;
                tube.rate[g] = 0.5f * (r3 + 1.0f);
                tube.amplitude[g] = 0.2f * r4 + 0.1f;
                break;
            case 2:
                tube.base[g] = 0.3f * r1 + 0.7f;
                tube.amplitude[g] = 0.2f * r4 + 0.1f;
                break;
            case 3:
                tube.base[g] = 0.05f * (r1 + 1.0f);
                tube.amplitude[g] = 0.1f - 0.07f * r4;
                break;
            case 4:
                tube.base[g] = r1 + 2.0f;
                tube.amplitude[g] = 0.9f * r4 + 0.1f;
                break;
            case 5:
            case 8:
                tube.base[g] = 0.1f * r1;
                tube.amplitude[g] = 0.1f * (r4 + 1.0f);
                break;
            case 6:
            case 9:
                tube.base[g] = 10.0f * r1 + 5.0f;
                tube.amplitude[g] = 2.0f * r4 + 1.0f;
                break;
            default: // 7 and 10: the phases
                tube.base[g] = 6.0f * r1;
                tube.amplitude[g] = 6.0f * r4;
                break;
            }
        }
    }
}

void metamecklo::addTubeSet(float t, float xOffset, float zOffset, float decayScale, float strengthScale) {
    using namespace geometry::fieldsimd;
    if (strengthScale != 0.0f) {
        for (const geometry::TubeConstants& tube : tubes) {
            const TubeArguments a = tubeArguments(tube, t);
            const float* v = a.v;
            addTube(v[0] + xOffset, v[2] + zOffset - 0.5f, v[2] * decayScale, v[3], v[4] * strengthScale, v[5], v[6],
                    v[7], v[8], v[9], v[10]);
        }
    }

    // The field is kept to a shell around the centre: cleared inside the
    // core and outside the shell.
    FieldGrid& g = gridB;
    carveCore(g);
    const float* ux = xUnits.data();
    const floatx4 half = splat(0.5f);
    const floatx4 zero = splat(0.0f);
    for (int z = 0; z < g.nz; ++z) {
        const float dz = unit(z, g.nz) - 0.5f;
        for (int y = 0; y < g.ny; ++y) {
            const float dy = unit(y, g.ny) - 0.5f;
            const float q = dz * dz + dy * dy;
            const floatx4 q4 = splat(q);
            float* cells = &g.at(0, y, z);
            int x = 0;
            for (; x + kLanes <= g.nx; x += kLanes) {
                const floatx4 d = load(ux + x) - half;
                const floatx4 d2 = q4 + d * d;
                const intx4 outside = splat(20.0f) / (splat(44.444441f) * d2 + splat(1.0f)) - splat(1.8181818f) <= zero;
                store(cells + x, outside ? zero : load(cells + x));
            }
            for (; x < g.nx; ++x) {
                const float d = ux[x] - 0.5f;
                if (outsideShell(q + d * d)) {
                    cells[x] = 0.0f;
                }
            }
        }
    }
}

void metamecklo::addTubeSetPlain(float t, float xOffset, float zOffset, float decayScale, float strengthScale) {
    if (strengthScale != 0.0f) {
        for (const geometry::TubeConstants& tube : tubes) {
            const TubeArguments a = tubeArguments(tube, t);
            const float* v = a.v;
            addTubePlain(v[0] + xOffset, v[2] + zOffset - 0.5f, v[2] * decayScale, v[3], v[4] * strengthScale, v[5],
                         v[6], v[7], v[8], v[9], v[10]);
        }
    }
    FieldGrid& g = gridB;
    carveCore(g);
    for (int z = 0; z < g.nz; ++z) {
        const float dz = unit(z, g.nz) - 0.5f;
        for (int y = 0; y < g.ny; ++y) {
            const float dy = unit(y, g.ny) - 0.5f;
            const float q = dz * dz + dy * dy;
            float* cells = &g.at(0, y, z);
            for (int x = 0; x < g.nx; ++x) {
                const float dx = unit(x, g.nx) - 0.5f;
                if (outsideShell(q + dx * dx)) {
                    cells[x] = 0.0f;
                }
            }
        }
    }
}
