// The cloth sheet: array growth, the lattice, one step of the simulation
// against expectations worked out from its constants, long runs, and the
// vertex and index pools against a mock device.
#include "dx/dxdevice.h"
#include "dx/dxindexbuffer.h"
#include "dx/dxvertexbuffer.h"
#include "effects/particlefield.h"
#include "tests/dx/fakedevice.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr double kSpacing = 10.0 / 25.0;
constexpr double kRowStep = kSpacing / 1.118033988749895; // sqrt(1.25)
constexpr double kSphereY = 8.0;

std::pair<std::uint32_t, std::uint32_t> ends(const Spring& s) {
    return {s.a, s.b};
}

using Corners = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;

Corners corners(const Face& f) {
    return {f.a, f.b, f.c};
}

Particle at(float x, float y, float z) {
    Particle p{};
    p.position = {x, y, z, 0.0f};
    p.previous = p.position;
    return p;
}

TEST(GrowableArray, GrowsOneElementBeforeFullAndKeepsItsElements) {
    effects::GrowableArray<int> a;
    // From empty: reserve 1, then double whenever count reaches capacity - 1.
    const std::uint32_t capacities[] = {1, 2, 4, 8, 8, 8, 8, 16, 16};
    for (int i = 0; i < 9; ++i) {
        a.append(100 + i);
        EXPECT_EQ(a.capacity, capacities[i]) << "after append " << i + 1;
    }
    for (std::uint32_t i = 0; i < a.count; ++i) {
        EXPECT_EQ(a[i], 100 + static_cast<int>(i));
    }
    a.reserve(3);
    EXPECT_EQ(a.capacity, 16u);
    a.reserve(40);
    EXPECT_EQ(a.capacity, 40u);
    EXPECT_EQ(std::pair(a[8], a[9]), std::pair(108, 0)) << "new storage is zeroed";
    a.reserve(0);
    EXPECT_EQ(std::tuple(a.count, a.capacity, a.data()), std::tuple(0u, 0u, nullptr));
}

TEST(ParticleField, LatticeOfTwentyFive) {
    particleField f(nullptr);
    f.buildLattice(25);
    ASSERT_EQ(f.particles.count, 676u);
    EXPECT_EQ(std::tuple(f.particles.capacity, f.springs.count, f.faces.count), std::tuple(10000u, 1925u, 1250u));
    EXPECT_FLOAT_EQ(faceProximity, 1.2f);
    // Row 0 spans x -5..5 at height 13; odd rows are shifted by half a spacing.
    const double h = 12.75;
    for (std::uint32_t r = 0; r <= 25; ++r) {
        for (std::uint32_t k = 0; k <= 25; ++k) {
            const Particle& p = f.particles[r * 26 + k];
            const double shift = r % 2 == 0 ? 0.0 : -0.5 * kSpacing;
            EXPECT_NEAR(p.position.x, -5.0 + k * kSpacing + shift, 1e-5);
            EXPECT_EQ(p.position.y, 13.0f);
            EXPECT_NEAR(p.position.z, (r - h) * kRowStep, 1e-5);
            EXPECT_EQ(std::memcmp(&p.position, &p.previous, sizeof p.position), 0);
        }
    }
    EXPECT_NEAR(kRowStep, 0.358, 5e-4);
    // Every spring joins lattice neighbours: along a row (s) or to the next row (sqrt(1.05) s).
    int along = 0, across = 0;
    for (std::uint32_t i = 0; i < f.springs.count; ++i) {
        const Spring& s = f.springs[i];
        EXPECT_FLOAT_EQ(s.restSquared, 0.16f);
        const effects::Float4& a = f.particles[s.a].position;
        const effects::Float4& b = f.particles[s.b].position;
        const double length = std::hypot(b.x - a.x, b.z - a.z);
        if (std::abs(length - kSpacing) < 1e-5) {
            ++along;
        } else {
            EXPECT_NEAR(length, std::sqrt(1.05) * kSpacing, 1e-5) << i;
            ++across;
        }
    }
    EXPECT_EQ(std::pair(along, across), std::pair(650, 1275));
    // Row 0 adds 25 x 3 + 1 springs: 76 starts the odd row.
    EXPECT_EQ(
        (std::vector{ends(f.springs[0]), ends(f.springs[1]), ends(f.springs[2]), ends(f.springs[76]),
                     ends(f.springs[77]), ends(f.springs[78])}),
        (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 1}, {0, 26}, {0, 27}, {26, 27}, {26, 52}, {27, 52}}));
    EXPECT_EQ((std::vector{corners(f.faces[0]), corners(f.faces[1]), corners(f.faces[50]), corners(f.faces[51])}),
              (std::vector<Corners>{{0, 27, 26}, {0, 1, 27}, {26, 27, 53}, {26, 53, 52}}));
}

TEST(ParticleField, OneStepFromRestFallsByGravityTimesTheStepSquared) {
    particleField f(nullptr);
    f.buildLattice(25);
    f.step();
    const double drop = 150.82 * 0.0001;
    for (std::uint32_t i = 0; i < f.particles.count; ++i) {
        EXPECT_NEAR(f.particles[i].position.y, 13.0 - drop, 2e-6) << i;
        EXPECT_EQ(f.particles[i].previous.y, 13.0f);
    }
    // The sheet faces down: each inner particle sums six unit normals (0, -1, 0).
    EXPECT_NEAR(f.particles[13 * 26 + 13].normalSum.y, -6.0, 1e-5);
}

TEST(ParticleField, TheSpherePushesAParticleRadiallyOntoItsSurface) {
    particleField f(nullptr);
    f.particles.append(at(1.0f, 8.5f, 0.5f));
    f.particles.append(at(4.0f, 8.0f, 0.0f));
    f.step();
    const double y = 8.5 - 150.82 * 0.0001 - kSphereY;
    const double length = std::sqrt(1.0 + y * y + 0.25);
    EXPECT_NEAR(f.particles[0].position.x, 3.0 / length, 1e-5);
    EXPECT_NEAR(f.particles[0].position.y, kSphereY + 3.0 * y / length, 1e-5);
    EXPECT_NEAR(f.particles[0].position.z, 1.5 / length, 1e-5);
    EXPECT_EQ(f.particles[1].position.x, 4.0f) << "outside: not moved";
    // The very centre has no direction; the particle still ends on the surface.
    f.particles[0].position = {0.0f, 8.0f, 0.0f, 0.0f};
    f.relax();
    EXPECT_EQ(f.particles[0].position.y, 11.0f);
}

TEST(ParticleField, SpringsRelaxTowardsTheirRestLengthWithoutRoots) {
    particleField f(nullptr);
    const float rest = 0.4f;
    const float points[][2] = {{0.0f, 0.4f}, {0.0f, 0.8f}, {0.0f, 0.0f}};
    for (const auto& x : points) {
        f.particles.append(at(x[0], 20.0f, 1.0f));
        f.particles.append(at(x[1], 20.0f, 1.0f));
        f.springs.append({f.particles.count - 2, f.particles.count - 1, rest, 1.0f / rest, rest * rest});
    }
    f.relax();
    // Two passes of k = rest^2 / (d^2 + rest^2) - 0.5, each end moving by k d;
    // coincident ends take d = 0.001 along x in the first.
    const auto k = [](double d) { return 0.16 / (d * d + 0.16) - 0.5; };
    const auto relaxed = [&](double d) {
        const double first = d + 2.0 * (d == 0.0 ? 0.001 : d) * k(d == 0.0 ? 0.001 : d);
        return first + 2.0 * first * k(first);
    };
    EXPECT_EQ(std::pair(f.particles[0].position.x, f.particles[1].position.x), std::pair(0.0f, 0.4f))
        << "at rest: unchanged";
    EXPECT_NEAR(f.particles[3].position.x - f.particles[2].position.x, relaxed(0.8), 1e-6);
    EXPECT_NEAR(f.particles[2].position.x + f.particles[3].position.x, 0.8, 1e-6);
    // Coincident ends act as if 0.001 apart along x.
    const effects::Float4& a2 = f.particles[4].position;
    const effects::Float4& b2 = f.particles[5].position;
    EXPECT_NEAR(b2.x - a2.x, relaxed(0.0), 1e-7);
    EXPECT_NEAR(a2.x + b2.x, 0.0, 1e-7);
    EXPECT_EQ(std::pair(a2.y, a2.z), std::pair(b2.y, b2.z));
}

// The sheet falls from height 13 onto the sphere of radius 3 about (0, 8, 0).
// The particles above the sphere's disc land on it within a step of when free
// fall (the damped Verlet rule) takes the outermost of them, at radius 2,
// below the surface at that radius; without wind the sheet then stays draped,
// and the timeline's wind (0, 0, 600) blows it off the sphere along +z.
TEST(ParticleField, TheSheetDrapesOverTheSphereUntilTheWindBlowsItOff) {
    const double surfaceAtTwo = 8.0 + std::sqrt(9.0 - 4.0);
    double y = 13.0;
    double before = 13.0;
    int landing = 0;
    while (y > surfaceAtTwo) {
        const double next = 1.99 * y - 0.99 * before - 150.82 * 0.0001;
        before = y;
        y = next;
        ++landing;
    }
    for (const float windZ : {0.0f, 600.0f}) {
        particleField field(nullptr);
        field.wind = {0.0f, 0.0f, windZ};
        field.buildLattice(25);
        std::vector<std::uint32_t> cap;
        double startZ = 0.0;
        for (std::uint32_t i = 0; i < field.particles.count; ++i) {
            const effects::Float4& p = field.particles[i].position;
            if (p.x * p.x + p.z * p.z < 4.0f) {
                cap.push_back(i);
            }
            startZ += p.z;
        }
        ASSERT_GT(cap.size(), 50u);
        auto onSphere = [&] {
            std::size_t on = 0;
            for (const std::uint32_t i : cap) {
                const effects::Float4& p = field.particles[i].position;
                const double r = std::sqrt(double{p.x} * p.x + (p.y - 8.0) * (p.y - 8.0) + double{p.z} * p.z);
                on += std::fabs(r - 3.0) < 1e-3;
            }
            return on;
        };
        int s = 0;
        for (; s < landing + 1; ++s) {
            field.step();
        }
        EXPECT_EQ(onSphere(), cap.size()) << "wind " << windZ << ": landed by step " << s;
        for (; s < 60; ++s) {
            field.step();
        }
        double endZ = 0.0;
        for (std::uint32_t i = 0; i < field.particles.count; ++i) {
            endZ += field.particles[i].position.z;
        }
        const double shift = (endZ - startZ) / field.particles.count;
        if (windZ == 0.0f) {
            EXPECT_EQ(onSphere(), cap.size()) << "without wind the sheet stays on the sphere";
            EXPECT_LT(std::fabs(shift), 0.5) << "the sheet settles about where it fell";
        } else {
            EXPECT_EQ(onSphere(), 0u) << "the wind has blown the sheet off by step 60";
            EXPECT_GT(shift, 1.0) << "along +z";
        }
    }
}

// The fast face test, eight and four groups at a time (eight only where the
// processor has AVX2), against the plain one face at a time.
TEST(ParticleField, BlockedFaceTestMovesExactlyAsThePlainOne) {
    const bool wideAvailable = effects::faceTestWide;
    particleField wide(nullptr);
    particleField narrow(nullptr);
    particleField plain(nullptr);
    for (particleField* f : {&wide, &narrow, &plain}) {
        f->wind = {0.0f, 0.0f, 600.0f};
        f->buildLattice(25);
    }
    int stopped = 0;
    for (int s = 0; s < 600; ++s) {
        if (wideAvailable) {
            effects::faceTestWide = true;
            wide.step();
        }
        effects::faceTestWide = false;
        narrow.step();
        plain.accumulateForces();
        plain.integratePlain();
        for (std::uint32_t i = 0; i < plain.particles.count; ++i) {
            const Particle& p = plain.particles[i];
            stopped += std::memcmp(&p.position, &p.previous, sizeof p.position) == 0;
        }
        plain.relax();
    }
    effects::faceTestWide = wideAvailable;
    EXPECT_GT(stopped, 100) << "the run must include moves stopped by a face";
    EXPECT_EQ(std::memcmp(narrow.particles.data(), plain.particles.data(), 676 * sizeof(Particle)), 0) << "four lanes";
    if (wideAvailable) {
        EXPECT_EQ(std::memcmp(wide.particles.data(), plain.particles.data(), 676 * sizeof(Particle)), 0)
            << "eight lanes";
    }
}

// A particle falling from rest at (x, 13, 0) for one step, above triangles
// lying flat at height faceY: three copies of one under x = 0 (faces 0-2),
// three of one under x = 10 (faces 3-5), then, past faceCount 6, more copies
// of the first. A face hit stops the move only more than 0.5 ahead along
// the direction of travel, and only groups starting below faceCount - 3
// are tested, so a last group that is complete but ends the list is not.
TEST(ParticleField, AFaceStopsAFallOnlyFarEnoughAheadAndInATestedGroup) {
    struct Case {
        const char* name;
        float x;
        float faceY;
        std::uint32_t faceCount;
        bool stops;
    };
    const Case cases[] = {{"first group, 0.985 ahead", 0.0f, 12.0f, 6, true},
                          {"first group, 0.285 ahead", 0.0f, 12.7f, 6, false},
                          {"group at 3 of six faces", 10.0f, 12.0f, 6, false},
                          {"group at 3 of seven faces", 10.0f, 12.0f, 7, true}};
    const float savedProximity = faceProximity;
    faceProximity = 100.0f; // every group passes the coarse test
    for (const Case& c : cases) {
        for (const bool plain : {false, true}) {
            particleField f(nullptr);
            f.particles.append(at(c.x, 13.0f, 0.0f));
            for (const float cx : {0.0f, 10.0f}) {
                f.particles.append(at(cx - 1.0f, c.faceY, -1.0f));
                f.particles.append(at(cx + 1.0f, c.faceY, -1.0f));
                f.particles.append(at(cx, c.faceY, 1.0f));
            }
            for (std::uint32_t j = 0; j < c.faceCount; ++j) {
                const std::uint32_t first = j >= 3 && j < 6 ? 4 : 1;
                Face face{};
                std::tie(face.a, face.b, face.c) = Corners(first, first + 1, first + 2);
                f.faces.append(face);
            }
            f.accumulateForces();
            if (plain) {
                f.integratePlain();
            } else {
                f.integrate();
            }
            const std::string what = std::string(c.name) + (plain ? " (plain)" : "");
            if (c.stops) {
                EXPECT_EQ(f.particles[0].position.y, 13.0f) << what;
            } else {
                EXPECT_NEAR(f.particles[0].position.y, 13.0 - 150.82 * 0.0001, 1e-5) << what;
            }
        }
    }
    faceProximity = savedProximity;
}

class ParticleFieldPools : public ::testing::Test {
  protected:
    ParticleFieldPools() { d.d3dDevice = &mock; }
    ::testing::NiceMock<dx::test::Device> mock;
    device d;
};

TEST_F(ParticleFieldPools, IndicesFacesAndTexCoordsFromTheFirstShape) {
    particleField f(&d);
    f.buildLattice(25);
    ::testing::internal::CaptureStderr();
    f.buildBuffers();
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(mock.indexBuffers.size(), 1u);
    const auto* index = reinterpret_cast<const std::uint16_t*>(mock.indexBuffers[0]->bytes.data());
    for (std::uint32_t i = 0; i < f.faces.count; ++i) {
        EXPECT_EQ(Corners(index[3 * i], index[3 * i + 1], index[3 * i + 2]), corners(f.faces[i]));
    }
    EXPECT_CALL(mock, DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 676, 0, 1250)).Times(2);
    ::testing::internal::CaptureStderr();
    f.draw();
    const std::string firstLog = ::testing::internal::GetCapturedStderr();
    char expected[200];
    std::snprintf(expected, sizeof expected, "min..\n[%f] [%f] [%f]\nmax..\n[%f] [%f] [%f]\n", -5.2, 13.0,
                  -12.75 * kRowStep, 5.0, 13.0, 12.25 * kRowStep);
    EXPECT_EQ(firstLog, expected);

    f.step();
    ::testing::internal::CaptureStderr();
    f.draw();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    // Vertex 675 (last row, odd, x 4.8) keeps u = 10 / 10.2, v = 1 after moving.
    const std::uint8_t* uploaded = mock.vertexBuffers[0]->bytes.data();
    float vertex[8];
    std::memcpy(vertex, uploaded + 675 * 36, sizeof vertex);
    EXPECT_EQ(std::pair(vertex[1], vertex[4]), std::pair(f.particles[675].position.y, f.particles[675].normalSum.y));
    EXPECT_NEAR(vertex[6], 10.0 / 10.2, 1e-6);
    EXPECT_NEAR(vertex[7], 1.0, 1e-6);
    std::memcpy(vertex, uploaded, sizeof vertex);
    EXPECT_NEAR(vertex[6], 0.2 / 10.2, 1e-6);
    EXPECT_NEAR(vertex[7], 0.0, 1e-6);
}

TEST_F(ParticleFieldPools, ASheetWithoutExtentGetsFiniteTexCoords) {
    particleField f(&d);
    f.particles.append(at(1.0f, 2.0f, 3.0f));
    ::testing::internal::CaptureStderr();
    f.buildBuffers();
    f.draw();
    ::testing::internal::GetCapturedStderr();
    std::array<float, 2> uv{};
    std::memcpy(uv.data(), mock.vertexBuffers[0]->bytes.data() + 24, sizeof uv);
    EXPECT_EQ(uv, (std::array{0.0f, 0.0f}));
}

} // namespace
