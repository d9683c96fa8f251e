// The growing tunnel: the state initTubes leaves (expected head frames worked
// out from the turning angles in closed form), and drawTubes on a headless
// device: the fixed-step catch-up, the camera between history frames, and a
// picture from inside the tunnel.
#include "effects/tubes.h"

#include "dx/dxdevice.h"
#include "tests/effects/headless.h"
#include "tests/support/heapcount.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

namespace {

using effects::kTrailSegments;
using effects::kTrailVertices;
using effects::Tubes;
using effects::TubeVertex;

struct P3 {
    double x, y, z;
};

// p x m for a row vector (x, y, z, 1).
P3 apply(P3 p, const Matrix& m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

void expectNear(P3 actual, P3 expected, double tolerance, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

void expectAt(const TubeVertex& v, P3 p, const char* what) {
    expectNear({v.x, v.y, v.z}, p, 1e-3, what);
}

// Where the head stands after `steps` steps: step i turns about x by 0.01 i
// and moves 4 along the turned z axis, (0, -sin, cos) for the platform's x rotation.
P3 headAfter(int steps) {
    P3 head{0, 0, 0};
    for (int i = 1; i <= steps; ++i) {
        head.y -= 4.0 * std::sin(0.01 * i);
        head.z += 4.0 * std::cos(0.01 * i);
    }
    return head;
}

TEST(TubesInit, FortySixStepsTurningAboutXLeaveTheHeadAndTheRingsWhereTheAnglesPut) {
    const Tubes tubes;
    EXPECT_EQ(tubes.stepCount(), 46);
    EXPECT_NEAR(tubes.phase(), 46 * 0.4, 1e-3);
    EXPECT_EQ(tubes.simTime(), 0.0f);

    for (int back = 0; back < 3; ++back) {
        const int steps = 46 - back;
        const Matrix& m = tubes.history()[static_cast<std::size_t>(kTrailSegments - 1 - back)];
        expectNear({m.m[3][0], m.m[3][1], m.m[3][2]}, headAfter(steps), 1e-3, "frame " + std::to_string(steps));
        EXPECT_NEAR(m.m[1][1], std::cos(0.01 * steps), 1e-5);
        EXPECT_NEAR(m.m[1][2], std::sin(0.01 * steps), 1e-5);
    }

    // The newest segment of each trail joins the ring of frame 45 (old) to
    // frame 46 (new). Trail -1 is the tunnel, radius 16.8 about the axis, its
    // quad k as (old k, new k, new k+1), (new k+1, old k+1, old k); thin tube
    // j has radius 3.6 about (15.12 sin 90j, 15.12 cos 90j) and is seen from
    // outside: (new k+1, new k, old k), (old k, old k+1, new k+1).
    const Matrix& now = tubes.head();
    const Matrix& before = tubes.history()[kTrailSegments - 2];
    const auto corner = [](int k, double r) {
        const double a = (k % 4) * std::numbers::pi / 2;
        return P3{r * std::cos(a), r * std::sin(a), 0};
    };
    for (int j = -1; j < 4; ++j) {
        const bool tunnel = j < 0;
        const double a = j * std::numbers::pi / 2;
        const P3 axis = tunnel ? P3{0, 0, 0} : P3{15.12 * std::sin(a), 15.12 * std::cos(a), 0};
        const auto ring = [&](int k, double r) { return P3{axis.x + corner(k, r).x, axis.y + corner(k, r).y, 0}; };
        const double r = tunnel ? 16.8 : 3.6;
        const TubeVertex* seg = (tunnel ? tubes.tunnelTrail() : tubes.tubeTrail(j)).data() + kTrailVertices - 24;
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(testing::Message() << "trail " << j << " quad " << k);
            const TubeVertex* q = seg + 6 * k;
            expectAt(q[0], tunnel ? apply(ring(k, r), before) : apply(ring(k + 1, r), now), "first corner");
            expectAt(q[1], apply(ring(k, r), now), "new k");
            expectAt(q[2], tunnel ? apply(ring(k + 1, r), now) : apply(ring(k, r), before), "third corner");
            expectAt(q[4], apply(ring(k + 1, r), before), "old k+1");
            // The normal stream, chosen content: for the tunnel the template
            // normal moved as a point, for a tube the vertex moved one unit
            // out from the tube's axis.
            expectNear({q[1].nx, q[1].ny, q[1].nz}, apply(ring(k, tunnel ? -1.0 : r + 1.0), now), 1e-3, "normal");
            EXPECT_NEAR(q[1].u, (tunnel ? 0.2 : 0.4) * 45 * 0.4, 1e-3); // placed at phase 18.0
            EXPECT_NEAR(q[1].v, (tunnel ? 1.25 : 0.75) * k, 1e-6);
        }
    }
    // All 45 kept segments are filled: the oldest joins frames 1 and 2.
    EXPECT_NEAR(tubes.tunnelTrail()[1].z, headAfter(2).z, 0.2);
}

class TubesDraw : public effects::test::SceneTest {
  protected:
    // One frame of the tunnel at time t.
    static void frame(Tubes& tubes, float t) {
        d->beginTarget(0, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        tubes.drawTubes(t, *d, nullptr);
        d->endScene();
    }
};

Vector3 positionOf(const Matrix& m) {
    return {m.m[3][0], m.m[3][1], m.m[3][2]};
}

// The eye of a look-at view matrix: -(row 3) x (columns as axes)^T.
P3 eyeOf(const Matrix& v) {
    P3 e{0, 0, 0};
    for (int c = 0; c < 3; ++c) {
        e.x -= v.m[3][c] * v.m[0][c];
        e.y -= v.m[3][c] * v.m[1][c];
        e.z -= v.m[3][c] * v.m[2][c];
    }
    return e;
}

TEST_F(TubesDraw, CatchesUpInFixedStepsAndPutsTheCameraBetweenHistoryFrames) {
    Tubes tubes;
    tubes.createTubes(*d);
    const Matrix headBefore = tubes.head();

    // s = 0.3 t = 0.03 is not ahead of simTime + 0.05: no step, only a redraw.
    frame(tubes, 0.1f);
    EXPECT_EQ(tubes.stepCount(), 46);
    EXPECT_EQ(tubes.simTime(), 0.0f);
    EXPECT_EQ(std::memcmp(&tubes.head(), &headBefore, sizeof(Matrix)), 0);

    // s = 0.32: steps at simTime 0, 0.05, ..., 0.25 (0.30 + 0.05 is not below 0.32).
    const float t = 0.32f / 0.3f;
    frame(tubes, t);
    EXPECT_EQ(tubes.stepCount(), 52);
    EXPECT_NEAR(tubes.simTime(), 0.30, 1e-5);
    // The six steps turned by the frame's constants, g = s.
    const double s = 0.3 * static_cast<double>(t);
    const double k1 = std::pow(1.8 * std::sin(2.2 * s), 3) * s * 0.03;
    const double k2 = std::pow(1.5 * std::sin(0.9 * s), 3) * s * 0.02;
    const double k3 = 2 * std::sin(5.7 * s) * s * 0.05;
    Matrix expected;
    rotationXYZ(expected, static_cast<float>(0.46 + 6 * k3), static_cast<float>(6 * k1), static_cast<float>(6 * k2));
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(tubes.head().m[r][c], expected.m[r][c], 1e-4) << r << "," << c;
        }
    }
    // The camera: eye between frames 1 and 2 by the step fraction, plus sin s along x.
    const double u = std::fmod(s, 0.05) * 20;
    const Vector3 p1 = positionOf(tubes.history()[1]);
    const Vector3 p2 = positionOf(tubes.history()[2]);
    const Vector3 p3 = positionOf(tubes.history()[3]);
    const P3 eye = eyeOf(d->view);
    expectNear(eye, {p1.x + (p2.x - p1.x) * u + std::sin(s), p1.y + (p2.y - p1.y) * u, p1.z + (p2.z - p1.z) * u}, 1e-2,
               "eye");
    // It looks toward the point between frames 2 and 3 (column 2 is the view direction).
    const P3 target{p2.x + (p3.x - p2.x) * u, p2.y + (p3.y - p2.y) * u, p2.z + (p3.z - p2.z) * u};
    const P3 toward{target.x - eye.x, target.y - eye.y, target.z - eye.z};
    const double len = std::sqrt(toward.x * toward.x + toward.y * toward.y + toward.z * toward.z);
    expectNear({d->view.m[0][2], d->view.m[1][2], d->view.m[2][2]}, {toward.x / len, toward.y / len, toward.z / len},
               1e-3, "view direction");
    // 120 degrees: 1 / tan(60 degrees).
    EXPECT_NEAR(d->projection.m[0][0], 1.0 / std::sqrt(3.0), 1e-5);

    // The same time again, and an earlier one: the simulation never rewinds.
    frame(tubes, t);
    frame(tubes, 0.2f);
    EXPECT_EQ(tubes.stepCount(), 52);
}

TEST_F(TubesDraw, FromInsideTheTunnelWithItsFourThinTubes) {
    Tubes tubes;
    tubes.createTubes(*d);
    int lastSteps = tubes.stepCount();
    for (const float t : {1.0f, 8.0f, 20.0f}) {
        d->beginTarget(0, 0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        d->resetStages();
        d->cullCounterClockwise();
        d->setDepthTest(true);
        tubes.drawTubes(t, *d, nullptr);
        d->endScene();
        EXPECT_GT(tubes.stepCount(), lastSteps);
        lastSteps = tubes.stepCount();
        const std::string name = "t" + std::to_string(static_cast<int>(t));
        const effects::test::Picture p = effects::test::readTarget(*d, 0, name.c_str());
        // The tunnel wall (magenta, the colour constant) fills the view's edges.
        int magenta = 0;
        int dark = 0;
        for (UINT y = 0; y < p.height; y += 4) {
            for (UINT x = 0; x < p.width; x += 4) {
                const D3DCOLOR c = p.at(x, y);
                magenta += (effects::test::red(c) > 40 && effects::test::blue(c) > 40 && effects::test::green(c) < 40);
                dark += (effects::test::red(c) + effects::test::green(c) + effects::test::blue(c)) < 10;
            }
        }
        EXPECT_GT(magenta, 200) << name;
        EXPECT_GT(dark, 0) << name << ": the far end fades out";
    }
}

// The tunnel makes its shader pair again every frame, as the scene was made;
// the pair of the frame before must go, or each frame leaves two behind.
TEST_F(TubesDraw, FramesInARowLeaveNothingAllocated) {
    Tubes tubes;
    tubes.createTubes(*d);
    for (int i = 0; i < 5; ++i) {
        frame(tubes, 1.0f + static_cast<float>(i) / 60.0f);
    }
    const long before = tests::support::liveHeapBlocks();
    for (int i = 5; i < 25; ++i) {
        frame(tubes, 1.0f + static_cast<float>(i) / 60.0f);
    }
    EXPECT_EQ(tests::support::liveHeapBlocks() - before, 0) << "blocks left by 20 frames";
}

} // namespace
