#include "dx/dxmath.h"

#include "tests/support/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace {

using ::testing::FloatNear;
using ::testing::Pointwise;

std::array<float, 3> xyz(const Vector3& v) {
    return {v.x, v.y, v.z};
}

// The sixteen elements row by row, for comparing whole matrices.
std::array<float, 16> flat(const Matrix& m) {
    std::array<float, 16> out{};
    std::memcpy(out.data(), m.m, sizeof out);
    return out;
}

Matrix sample() {
    Matrix m;
    for (int i = 0; i < 16; ++i) {
        m.m[i / 4][i % 4] = static_cast<float>(i * i % 7) - 2.5f;
    }
    return m;
}

TEST(Matrix, IdentityAndMultiplyAliasing) {
    Matrix id;
    identity(id);
    const Matrix a = sample();
    Matrix b;
    rotationXYZ(b, 0.3f, -1.1f, 2.0f);
    b.m[3][0] = 4.0f;

    Matrix separate;
    multiply(a, separate, b);
    Matrix left = a;
    multiply(left, left, b);
    Matrix right = b;
    multiply(a, right, right);
    EXPECT_EQ(std::pair(flat(left), flat(right)), std::pair(flat(separate), flat(separate)));
    // Element (1, 2) worked by hand from the definition.
    double expected = 0.0;
    for (int k = 0; k < 4; ++k) {
        expected += static_cast<double>(a.m[1][k]) * b.m[k][2];
    }
    EXPECT_EQ(separate.m[1][2], static_cast<float>(expected));
    Matrix same;
    multiply(a, same, id);
    EXPECT_EQ(flat(same), flat(a));
}

TEST(Matrix, ScaleRowsTouchesOnlyTheUpperThreeByThree) {
    Matrix m = sample();
    const Matrix before = m;
    scaleRows(m, 2.0f, 3.0f, -1.0f);
    const float factors[3] = {2.0f, 3.0f, -1.0f};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const float f = (r < 3 && c < 3) ? factors[r] : 1.0f;
            EXPECT_EQ(m.m[r][c], before.m[r][c] * f);
        }
    }
}

TEST(Rotation, TurnsAboutZThenYThenX) {
    Matrix m;
    Vector3 out;
    // 90 degrees about z alone: x axis goes to y (row vectors, left-handed).
    rotationXYZ(m, 0.0f, 0.0f, static_cast<float>(M_PI / 2));
    transformPoint({1, 0, 0}, out, m);
    EXPECT_THAT(xyz(out), Pointwise(FloatNear(1e-6f), std::array{0.0f, 1.0f, 0.0f}));
    // z by 90 then y by 90: (1,0,0) -> (0,1,0) -> (0,1,0) (y axis unmoved by Ry),
    // then x by 90: (0,1,0) -> (0,0,1).
    rotationXYZ(m, static_cast<float>(M_PI / 2), static_cast<float>(M_PI / 2), static_cast<float>(M_PI / 2));
    transformPoint({1, 0, 0}, out, m);
    EXPECT_THAT(xyz(out), Pointwise(FloatNear(1e-6f), std::array{0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(std::pair(m.m[3][3], m.m[0][3]), std::pair(1.0f, 0.0f));
}

TEST(Rigid, InverseTimesOriginalIsIdentity) {
    Matrix m;
    rotationXYZ(m, 0.7f, -0.2f, 1.9f);
    m.m[3][0] = 10.0f;
    m.m[3][1] = -3.0f;
    m.m[3][2] = 0.5f;
    Matrix inv, product, id;
    invertRigid(inv, m);
    multiply(m, product, inv);
    identity(id);
    EXPECT_THAT(flat(product), Pointwise(FloatNear(2e-6f), flat(id)));
    Matrix inPlace = m;
    invertRigid(inPlace);
    EXPECT_EQ(flat(inPlace), flat(inv));
    EXPECT_EQ(std::pair(inv.m[0][3], inv.m[3][3]), std::pair(0.0f, 1.0f));
}

TEST(Perspective, BitPatternsAndEqualScales) {
    Matrix m;
    perspective(m, 90.4f);
    EXPECT_EQ(std::pair(std::bit_cast<std::uint32_t>(m.m[2][2]), std::bit_cast<std::uint32_t>(m.m[3][2])),
              std::pair(0x3F800347u, 0xBDCCD20Bu));
    EXPECT_EQ(std::pair(m.m[2][3], m.m[3][3]), std::pair(1.0f, 0.0f));
    EXPECT_EQ(m.m[0][0], m.m[1][1]);
    EXPECT_EQ(m.m[0][0], static_cast<float>(1.0 / std::tan(static_cast<double>(90.4f) / 2.0)));
    // Near plane 0.1 maps to depth 0, far plane 1000 to depth 1.
    const double zNear = 0.1 * m.m[2][2] + m.m[3][2];
    const double zFar = 1000.0 * m.m[2][2] + m.m[3][2];
    EXPECT_NEAR(zNear / 0.1, 0.0, 1e-6);
    EXPECT_NEAR(zFar / 1000.0, 1.0, 1e-6);
}

TEST(Vectors, CrossNormalizeAndZero) {
    Vector3 out;
    cross({1, 0, 0}, out, {0, 1, 0});
    EXPECT_EQ(xyz(out), (std::array{0.0f, 0.0f, 1.0f}));
    normalize({3, 0, 4}, out);
    EXPECT_FLOAT_EQ(out.x, 0.6f);
    EXPECT_FLOAT_EQ(out.z, 0.8f);
    normalize({0, 0, 0}, out);
    EXPECT_EQ(xyz(out), (std::array{0.0f, 0.0f, 0.0f}));
    EXPECT_FALSE(std::isnan(out.x));
    Vector3 v{0, -2, 0};
    normalizeInPlace(v, out);
    EXPECT_EQ(std::pair(v.y, out.y), std::pair(-1.0f, -1.0f));
}

void expectOrthonormalView(const Matrix& m, const Vector3& target, const Vector3& eye) {
    for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 3; ++b) {
            double d = 0.0;
            for (int r = 0; r < 3; ++r) {
                d += static_cast<double>(m.m[r][a]) * m.m[r][b];
            }
            EXPECT_NEAR(d, a == b ? 1.0 : 0.0, 1e-6) << a << "," << b;
        }
    }
    // The eye maps to the origin and the target lies straight ahead on +z.
    Vector3 e, t;
    transformPoint(eye, e, m);
    transformPoint(target, t, m);
    EXPECT_THAT(xyz(e), Pointwise(FloatNear(1e-5f), std::array{0.0f, 0.0f, 0.0f}));
    EXPECT_THAT((std::array{t.x, t.y}), Pointwise(FloatNear(1e-5f), std::array{0.0f, 0.0f}));
    EXPECT_GT(t.z, 0.0f);
}

TEST(LookAt, OrdinaryViewIsLeftHanded) {
    Matrix m;
    const Vector3 target{1, 2, 3}, eye{-4, 5, -6};
    lookAtUp(m, target, eye);
    expectOrthonormalView(m, target, eye);
    // x = y cross z for a left-handed frame.
    Vector3 x{m.m[0][0], m.m[1][0], m.m[2][0]}, y{m.m[0][1], m.m[1][1], m.m[2][1]}, z{m.m[0][2], m.m[1][2], m.m[2][2]};
    Vector3 yz;
    cross(y, yz, z);
    EXPECT_THAT(xyz(yz), Pointwise(FloatNear(1e-6f), xyz(x)));
    EXPECT_GT(y.y, 0.0f); // up stays up
    EXPECT_EQ(m.m[3][3], 1.0f);
}

TEST(LookAt, EyeStraightAboveFallsBackToZUp) {
    Matrix m;
    const Vector3 target{0, 0, 0}, eye{0, 10, 0};
    lookAtUp(m, target, eye);
    expectOrthonormalView(m, target, eye);
    // The second hint, (0,1,0) again, is parallel too; the third is (0,0,1).
    EXPECT_NEAR(m.m[2][1], 1.0f, 1e-6f);
}

TEST(VectorLog, WithAndWithoutTitle) {
    EXPECT_EQ(tests::support::stderrOf([] {
                  logVector3({1.0f, -0.5f, 2.25f}, nullptr);
              }),
              "[1.000000] [-0.500000] [2.250000]\n");
    // The title is passed through as it stands, format characters included.
    EXPECT_EQ(tests::support::stderrOf([] {
                  logVector3({0.0f, 0.0f, 0.0f}, "eye %s");
              }),
              "eye %s\n[0.000000] [0.000000] [0.000000]\n");
}

} // namespace
