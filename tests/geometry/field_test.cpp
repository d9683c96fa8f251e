// The metaball object and its field: construction, the shared iso level,
// clearing, blur, and the shapes against their formulas.
#include "dx/dxdevice.h"
#include "dx/dxvertexbuffer.h"
#include "geometry/metamecklo.h"
#include "platform/crt/random.h"
#include "tests/dx/fakedevice.h"
#include "tests/geometry/surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using FieldTest = geometry::test::MetaballTest;

double unit(int i, int n) {
    return static_cast<double>(i) / (n - 1);
}

// The ball term s / (d^2 / r^2 + 1) - s / 11 at cell (x, y, z) of an n-grid.
double ballValue(double r, double s, const float c[3], int x, int y, int z, int n) {
    const double dx = unit(x, n) - c[0];
    const double dy = unit(y, n) - c[1];
    const double dz = unit(z, n) - c[2];
    return s / ((dx * dx + dy * dy + dz * dz) / (r * r) + 1) - s / 11;
}

TEST_F(FieldTest, ConstructionSetsTheSharedIsoLevelAndThePoolVariant) {
    auto compact = make(10, true);
    compact->setIsoLevel(0.3f);
    EXPECT_EQ(isoLevel, 0.3f);
    auto full = make(10, false);
    EXPECT_EQ(isoLevel, 1.0f);
    EXPECT_FALSE(full->currentIsA);
    // Capacity, triangle room, a dynamic pool, and whether that pool has its hardware buffer yet.
    const auto pool = [](const metamecklo& m) {
        return std::tuple(m.vertexCapacity, m.triangleBuffer.size(), m.vertices->dynamic,
                          m.vertices->buffers[0] != nullptr);
    };
    EXPECT_EQ(pool(*compact), std::tuple(150000, 50000u, true, true));
    EXPECT_EQ(pool(*full), std::tuple(500000, 166666u, false, false));
    EXPECT_EQ(std::pair(compact->world.m[0][0], compact->world.m[3][0]), std::pair(1.0f, 0.0f));
}

TEST_F(FieldTest, TheIsoLevelSetThroughOneObjectPolygonisesAnother) {
    auto setter = make(12, true);
    auto blobs = make(12, true);
    const float centre[3] = {0.5f, 0.5f, 0.5f};
    // The ball peaks at 1 - 1/11 = 0.909 at its centre.
    setter->setIsoLevel(0.95f);
    blobs->addSignedBall(0.2f, 1.0f, centre);
    EXPECT_EQ(blobs->buildMesh(), 0);
    setter->setIsoLevel(0.5f);
    blobs->addSignedBall(0.2f, 1.0f, centre);
    EXPECT_GT(blobs->buildMesh(), 0);
}

TEST_F(FieldTest, ClearBordersZeroesSlabsOfATenthOfTheGrid) {
    auto m = make(20, true);
    FieldGrid& g = m->currentGrid();
    std::fill(g.values, g.values + g.cellCount(), 1.0f);
    m->clearBorders();
    for (int z = 0; z < 20; ++z) {
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                const bool border = std::min({x, y, z}) < 2 || std::max({x, y, z}) > 17;
                ASSERT_EQ(g.at(x, y, z), border ? 0.0f : 1.0f) << x << " " << y << " " << z;
            }
        }
    }
    // Below ten cells the slabs are empty.
    auto small = make(9, true);
    FieldGrid& s = small->currentGrid();
    std::fill(s.values, s.values + s.cellCount(), 1.0f);
    small->clearBorders();
    EXPECT_EQ(std::count(s.values, s.values + s.cellCount(), 1.0f), static_cast<std::ptrdiff_t>(s.cellCount()));
}

TEST_F(FieldTest, BlurAveragesTheBlockAndTwoPassesEndInTheFirstGrid) {
    auto m = make(7, true);
    ASSERT_FALSE(m->currentIsA);
    m->gridB.at(3, 3, 3) = 1.0f;
    m->gridA.at(0, 6, 6) = 5.0f; // a border cell of the destination
    m->blurField();
    EXPECT_TRUE(m->currentIsA);
    EXPECT_FLOAT_EQ(m->gridA.at(2, 4, 3), 1.0f / 27);
    EXPECT_EQ(std::pair(m->gridA.at(1, 3, 3), m->gridA.at(0, 6, 6)), std::pair(0.0f, 5.0f));
    m->blurField();
    EXPECT_FALSE(m->currentIsA);
    // The second pass sums 27 cells of 1/27 at the centre and 9 of them two cells away.
    EXPECT_NEAR(m->gridB.at(3, 3, 3), 1.0 / 27, 1e-7);
    EXPECT_NEAR(m->gridB.at(5, 3, 3), 9.0 / 27 / 27, 1e-7);
    EXPECT_NEAR(m->gridB.at(1, 1, 1), 1.0 / 27 / 27, 1e-7);
}

TEST_F(FieldTest, BallsFollowTheirFormulaWithTheCutOffsAndTheCap) {
    const int n = 21;
    auto m = make(n, true);
    const float c[3] = {0.5f, 0.5f, 0.5f};
    const float r = 0.1f;
    const float s = 1.0f;
    m->addBall(r, s, c);
    struct Cell {
        int x, y, z;
    };
    for (const Cell cell : {Cell{10, 10, 13}, Cell{13, 12, 10}, Cell{0, 10, 10}, Cell{20, 9, 11}}) {
        const double v = ballValue(r, s, c, cell.x, cell.y, cell.z, n);
        // Added only below 0.5; along x there is no cut-off, so far cells get negative values.
        const double expected = v < 0.5 ? v : 0.0;
        EXPECT_NEAR(m->gridB.at(cell.x, cell.y, cell.z), expected, 1e-6) << cell.x << " " << cell.y << " " << cell.z;
    }
    EXPECT_LT(m->gridB.at(0, 10, 10), 0.0f);
    // The centre (value 0.909) is at or above 0.5 and gets nothing.
    // Planes beyond dy^2 > 10 r^2 (0.1) are skipped: y = 0 lies 0.25 away.
    EXPECT_EQ(std::pair(m->gridB.at(10, 10, 10), m->gridB.at(10, 0, 10)), std::pair(0.0f, 0.0f));

    // A ball centred outside the grid still reaches the cells within its cut-off.
    auto outside = make(n, true);
    const float away[3] = {0.5f, 1.2f, 0.5f};
    outside->addBall(0.2f, 0.2f, away);
    EXPECT_NEAR(outside->gridB.at(10, 20, 10), ballValue(0.2, 0.2, away, 10, 20, 10, n), 1e-6);
    EXPECT_NE(outside->gridB.at(10, 20, 10), 0.0f);
}

TEST_F(FieldTest, SignedBallsAddOrSubtractOnlyPositiveValues) {
    const int n = 21;
    auto m = make(n, true);
    const float c[3] = {0.5f, 0.5f, 0.5f};
    m->addSignedBall(0.1f, 2.0f, c);
    EXPECT_NEAR(m->gridB.at(10, 10, 10), 2.0 - 2.0 / 11, 1e-6);
    EXPECT_NEAR(m->gridB.at(10, 11, 12), ballValue(0.1, 2.0, c, 10, 11, 12, n), 1e-6);
    EXPECT_EQ(m->gridB.at(0, 10, 10), 0.0f); // negative there: not added
    m->addSignedBall(0.1f, -2.0f, c);
    EXPECT_NEAR(m->gridB.at(10, 10, 10), 0.0, 1e-6);
    EXPECT_NEAR(m->gridB.at(10, 11, 12), 0.0, 1e-6);
    // Strength 0 makes every value 0, never above it: nothing changes.
    m->gridB.at(10, 10, 10) = 0.25f;
    m->addSignedBall(0.1f, 0.0f, c);
    EXPECT_EQ(m->gridB.at(10, 10, 10), 0.25f);
}

TEST_F(FieldTest, TubesFollowTheirFormulaOnEveryPlane) {
    const int n = 11;
    auto m = make(n, true);
    m->addTube(0.4f, 0.6f, 0.8f, 0.1f, 2.0f, 0.05f, 3.0f, 0.5f, 0.02f, 4.0f, 1.0f);
    for (int y : {0, 5, 10}) {
        const double t = unit(y, n);
        const double cx = 0.4 + 0.05 * std::sin(3.0 * t + 0.5);
        const double cz = 0.6 + 0.02 * std::sin(4.0 * t + 1.0);
        const double e = std::exp(-t / 0.8);
        const double rho = 0.1 * e;
        for (int x : {0, 4, 9}) {
            const int z = 6;
            const double d2 = (cx - unit(x, n)) * (cx - unit(x, n)) + (cz - unit(z, n)) * (cz - unit(z, n));
            EXPECT_NEAR(m->gridB.at(x, y, z), 2.0 * e / (d2 / (rho * rho) + 1), 1e-5) << x << " " << y;
        }
    }
}

// The runtime library's generator, written out: state * 214013 + 2531011, bits 16..30.
struct Lcg {
    std::uint32_t state;
    float next() {
        state = state * 214013u + 2531011u;
        return static_cast<float>((state >> 16) & 0x7FFF) * 3.051851e-5f;
    }
    void skip(int draws) {
        for (int i = 0; i < draws; ++i) {
            next();
        }
    }
};

TEST_F(FieldTest, TubeSetConstantsComeFromTheSharedGeneratorWithoutReseeding) {
    auto m = make(8, true);
    platform::crt::srand(1234);
    m->initTubeSet();
    Lcg lcg{1234};
    const float g0[4] = {lcg.next(), lcg.next(), lcg.next(), lcg.next()};
    EXPECT_FLOAT_EQ(m->tubes[0].base[0], 0.2f * g0[0] + 0.4f);
    EXPECT_FLOAT_EQ(m->tubes[0].phase[0], 6.2831855f * g0[1]);
    EXPECT_FLOAT_EQ(m->tubes[0].rate[0], 0.5f * (g0[2] + 1));
    EXPECT_FLOAT_EQ(m->tubes[0].amplitude[0], 0.2f * g0[3] + 0.1f);
    lcg.skip(4); // group 1
    const float g2[4] = {lcg.next(), lcg.next(), lcg.next(), lcg.next()};
    EXPECT_FLOAT_EQ(m->tubes[0].base[2], 0.3f * g2[0] + 0.7f);
    EXPECT_FLOAT_EQ(m->tubes[0].rate[2], 1.5f * g2[2] + 0.5f);
    const float g3[4] = {lcg.next(), lcg.next(), lcg.next(), lcg.next()};
    EXPECT_FLOAT_EQ(m->tubes[0].base[3], 0.05f * (g3[0] + 1));
    EXPECT_FLOAT_EQ(m->tubes[0].amplitude[3], 0.1f - 0.07f * g3[3]);
    // Tube 1 starts after 11 groups of four draws.
    lcg.skip(44 - 16);
    EXPECT_FLOAT_EQ(m->tubes[1].base[0], 0.2f * lcg.next() + 0.4f);
    // 220 draws in all; the generator carries on from there.
    Lcg after{1234};
    after.skip(220);
    after.state = after.state * 214013u + 2531011u;
    EXPECT_EQ(platform::crt::rand(), static_cast<int>((after.state >> 16) & 0x7FFF));
}

struct ShellCell {
    int x, y, z;
    bool kept;
};

// The cells of an n-grid and whether the tube set's shell keeps them: a squared
// distance from the centre from 0.025 up to 0.225. Cells on a boundary, where
// the rounding decides, are left out.
std::vector<ShellCell> shellCells(int n) {
    std::vector<ShellCell> cells;
    for (int z = 0; z < n; ++z) {
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const double d2 =
                    std::pow(unit(x, n) - 0.5, 2) + std::pow(unit(y, n) - 0.5, 2) + std::pow(unit(z, n) - 0.5, 2);
                if (std::fabs(d2 - 0.025) >= 1e-5 && std::fabs(d2 - 0.225) >= 1e-5) {
                    cells.push_back({x, y, z, d2 >= 0.025 && d2 < 0.225});
                }
            }
        }
    }
    return cells;
}

TEST_F(FieldTest, TheTubeSetCarvesTheFieldIntoAShell) {
    const int n = 40;
    auto m = make(n, true);
    std::fill(m->gridB.values, m->gridB.values + m->gridB.cellCount(), 1.0f);
    m->addTubeSet(0.0f, 0.0f, 0.1f, 1.0f, 0.0f); // strength 0: no tubes, only the carving
    int kept = 0;
    for (const ShellCell& c : shellCells(n)) {
        ASSERT_EQ(m->gridB.at(c.x, c.y, c.z), c.kept ? 1.0f : 0.0f) << c.x << " " << c.y << " " << c.z;
        kept += c.kept;
    }
    EXPECT_GT(kept, 0);
}

// With strength, each of the five tubes is one addTube whose eleven
// arguments are the groups' values 0.1 (A sin(phi + 0.1) + B) + A sin(phi) + B,
// phi = t R + P: x from group 0, z and the decay from group 2, then groups 3..10.
TEST_F(FieldTest, TheTubeSetAddsItsFiveTubesInsideTheShell) {
    const int n = 40;
    const float t = 1.3f;
    const float xo = 0.05f;
    const float zo = 0.1f;
    const float ds = 1.5f;
    const float ss = 0.8f;
    auto set = make(n, true);
    platform::crt::srand(77);
    set->initTubeSet();
    set->addTubeSet(t, xo, zo, ds, ss);

    auto tubes = make(n, true);
    for (const geometry::TubeConstants& c : set->tubes) {
        float v[11];
        for (int g = 0; g < 11; ++g) {
            const float phi = t * c.rate[g] + c.phase[g];
            v[g] =
                0.1f * (c.amplitude[g] * std::sin(phi + 0.1f) + c.base[g]) + c.amplitude[g] * std::sin(phi) + c.base[g];
        }
        tubes->addTube(v[0] + xo, v[2] + zo - 0.5f, v[2] * ds, v[3], v[4] * ss, v[5], v[6], v[7], v[8], v[9], v[10]);
    }
    int inShell = 0;
    for (const ShellCell& c : shellCells(n)) {
        const float expected = c.kept ? tubes->gridB.at(c.x, c.y, c.z) : 0.0f;
        ASSERT_NEAR(set->gridB.at(c.x, c.y, c.z), expected, 1e-5f + 1e-5f * std::fabs(expected))
            << c.x << " " << c.y << " " << c.z;
        inShell += c.kept && expected > 0.01f;
    }
    EXPECT_GT(inShell, 100);
}

TEST_F(FieldTest, AFrameNeverWritesOutsideTheCells) {
    auto m = make(16, true);
    platform::crt::srand(7);
    m->initTubeSet();
    m->addTubeSet(1.5f, 0.0f, 0.1f, 1.0f, 1.0f);
    const float c[3] = {0.0f, 1.0f, 0.5f};
    m->addBall(0.3f, 0.4f, c);
    m->clearBorders();
    for (int i = 0; i < 3; ++i) {
        m->blurField();
    }
    m->buildMesh();
    for (const FieldGrid* g : {&m->gridA, &m->gridB}) {
        const std::size_t before = static_cast<std::size_t>(g->values - g->storage.data());
        ASSERT_GT(before, 16u * 16u);
        for (std::size_t i = 0; i < g->storage.size(); ++i) {
            if (i < before || i >= before + g->cellCount()) {
                ASSERT_EQ(g->storage[i], 0.0f) << i;
            }
        }
    }
}

} // namespace
