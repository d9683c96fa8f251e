// The embedded rim programs, run on the CPU by the assembly interpreter and
// held against what they are meant to compute.
#include "tests/hlsl/asm_machine.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using hlsltest::AsmMachine;
using hlsltest::Vec4;
using Matrix = std::array<Vec4, 4>;

std::string program(const char* name) {
    std::ifstream f(std::string(RIZA3V_SOURCE_DIR) + "/resources/shaders/" + name);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

Vec4 rowTimes(const Vec4& v, const Matrix& m, int rows) {
    Vec4 r{};
    for (std::size_t j = 0; j < 4; ++j) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(rows); ++i) {
            r[j] += v[i] * m[i][j];
        }
    }
    return r;
}

float dot4(const Vec4& a, const Vec4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]; }

void expectVec(const Vec4& got, const Vec4& want, int lanes, const char* what) {
    for (int k = 0; k < lanes; ++k) {
        EXPECT_NEAR(got[static_cast<std::size_t>(k)], want[static_cast<std::size_t>(k)], 1e-5f) << what << " lane " << k;
    }
}

struct Scene {
    Matrix wvp{};
    Matrix world{};
    Vec4 camera{};
    Vec4 colour{0.8f, 0.2f, 0.6f, 1.0f};
    Vec4 ambient{0.0f, 0.1f, 0.1f, 1.0f};
    Vec4 position{};
    Vec4 normal{};
    Vec4 uv{};
    Vec4 texel{};

    // The constant upload of the program: rows as stored, the normal matrix
    // being the world matrix without its translation.
    void load(AsmMachine& vm) const {
        for (int i = 0; i < 4; ++i) {
            const auto r = static_cast<std::size_t>(i);
            vm.reg["c" + std::to_string(i)] = wvp[r];
            vm.reg["c" + std::to_string(4 + i)] = world[r];
            Vec4 n = world[r];
            if (i == 3) {
                n = {0, 0, 0, n[3]};
            }
            vm.reg["c" + std::to_string(8 + i)] = n;
        }
        vm.reg["c12"] = camera;
        vm.reg["c13"] = colour;
        vm.reg["v0"] = position;
        vm.reg["v1"] = normal;
        vm.reg["v2"] = uv;
    }
};

Scene baseScene() {
    Scene s;
    const float c = std::cos(0.4f);
    const float n = std::sin(0.4f);
    s.world = {Vec4{c, 0, -n, 0}, Vec4{0, 1, 0, 0}, Vec4{n, 0, c, 0}, Vec4{0.5f, -0.2f, 1.0f, 1}};
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = 0; j < 4; ++j) {
            s.wvp[i][j] = 0.1f * static_cast<float>(i * 4 + j) - 0.7f;
        }
    }
    s.camera = {1.5f, 2.0f, -4.0f, 1.0f};
    s.position = {0.3f, -0.7f, 0.2f, 1.0f};
    s.normal = {0.0f, 0.6f, 0.8f, 1.0f};
    s.uv = {0.25f, 0.6f, 0.0f, 1.0f};
    s.texel = {0.1f, 0.5f, 0.2f, 0.6f};
    return s;
}

Vec4 viewVector(const Scene& s) {
    const Vec4 world = rowTimes(s.position, s.world, 4);
    Vec4 v{};
    for (std::size_t k = 0; k < 4; ++k) {
        v[k] = s.camera[k] - world[k];
    }
    const float len = std::sqrt(dot4(v, v));
    for (float& x : v) {
        x /= len;
    }
    return v;
}

Vec4 runRimPair(const Scene& s, AsmMachine& vm) {
    s.load(vm);
    vm.run(program("rim_vs20.vsh"));
    AsmMachine pm;
    pm.reg["c0"] = s.ambient;
    pm.reg["v0"] = vm.reg["oD0"];
    pm.reg["t0"] = vm.reg["oT0"];
    pm.reg["t1"] = vm.reg["oT1"];
    pm.reg["t2"] = vm.reg["oT2"];
    Vec4 sampledAt{};
    pm.sample = [&](const Vec4& coord) {
        sampledAt = coord;
        return s.texel;
    };
    pm.run(program("rim_ps20.psh"));
    EXPECT_FLOAT_EQ(sampledAt[0], 2 * s.uv[0]);
    EXPECT_FLOAT_EQ(sampledAt[1], 2 * s.uv[1]);
    return pm.reg["oC0"];
}

TEST(RimProgram, VertexOutputs) {
    const Scene s = baseScene();
    AsmMachine vm;
    runRimPair(s, vm);
    expectVec(vm.reg["oPos"], rowTimes(s.position, s.wvp, 4), 4, "clip position");
    expectVec(vm.reg["oT0"], {0.5f, 1.2f, 0, 0}, 2, "doubled texture coordinates");
    Matrix normalMatrix = s.world;
    normalMatrix[3] = {0, 0, 0, 1};
    expectVec(vm.reg["oT1"], rowTimes(s.normal, normalMatrix, 3), 4, "world normal");
    expectVec(vm.reg["oT2"], viewVector(s), 4, "view vector");
    expectVec(vm.reg["oD0"], s.colour, 4, "diffuse");
}

TEST(RimProgram, PixelBlendsFromAmbientToColourByRimAndTexture) {
    Scene s = baseScene();
    AsmMachine vm;
    const Vec4 out = runRimPair(s, vm);
    Matrix normalMatrix = s.world;
    normalMatrix[3] = {0, 0, 0, 1};
    const float rim = std::pow(1 - dot4(rowTimes(s.normal, normalMatrix, 3), viewVector(s)), 2.0f);
    const float f = 0.5f * rim * (s.texel[0] + s.texel[1] + s.texel[2] + s.texel[3]);
    Vec4 want{};
    for (std::size_t k = 0; k < 4; ++k) {
        want[k] = s.ambient[k] + f * (s.colour[k] - s.ambient[k]);
    }
    expectVec(out, want, 4, "colour");
}

TEST(RimProgram, FacingGivesAmbientGrazingGivesColourByChannelSum) {
    Scene s = baseScene();
    s.world = {Vec4{1, 0, 0, 0}, Vec4{0, 1, 0, 0}, Vec4{0, 0, 1, 0}, Vec4{0.5f, -0.2f, 1.0f, 1}};
    const Vec4 view = viewVector(s); // w = 0: the camera's w is 1
    s.normal = {view[0], view[1], view[2], 1};
    AsmMachine vm;
    expectVec(runRimPair(s, vm), s.ambient, 4, "facing");

    // A normal at right angles to the view: rim 1, f = half the channel sum.
    s.normal = {view[1], -view[0], 0, 1};
    const float len = std::hypot(view[0], view[1]);
    s.normal[0] /= len;
    s.normal[1] /= len;
    s.texel = {0.5f, 0.5f, 0.5f, 0.5f}; // sum 2: all the way to the colour
    expectVec(runRimPair(s, vm), s.colour, 4, "grazing, sum 2");
    s.texel = {0.25f, 0.25f, 0.25f, 0.25f}; // sum 1: half way
    Vec4 half{};
    for (std::size_t k = 0; k < 4; ++k) {
        half[k] = (s.ambient[k] + s.colour[k]) / 2;
    }
    expectVec(runRimPair(s, vm), half, 4, "grazing, sum 1");
}

TEST(FallbackProgram, NormalThroughSecondColourViewThroughSetOneNoAmbient) {
    Scene s = baseScene();
    s.normal = {0.2f, 0.6f, 0.3f, 1.0f};
    AsmMachine vm;
    s.load(vm);
    vm.run(program("rim_vs11.vsh"));
    Matrix normalMatrix = s.world;
    normalMatrix[3] = {0, 0, 0, 1};
    const Vec4 worldNormal = rowTimes(s.normal, normalMatrix, 3);
    const Vec4 view = viewVector(s);
    expectVec(vm.reg["oPos"], rowTimes(s.position, s.wvp, 4), 4, "clip position");
    expectVec(vm.reg["oT0"], {0.5f, 1.2f, 0, 0}, 2, "doubled texture coordinates");
    expectVec(vm.reg["oD1"], worldNormal, 4, "normal in the second colour");
    expectVec(vm.reg["oT1"], view, 3, "view vector in set 1");
    expectVec(vm.reg["oD0"], s.colour, 4, "diffuse");

    // The interpolators clamp colours to 0..1.
    AsmMachine pm;
    auto clamp01 = [](Vec4 v) {
        for (float& x : v) {
            x = std::clamp(x, 0.0f, 1.0f);
        }
        return v;
    };
    pm.reg["v0"] = clamp01(vm.reg["oD0"]);
    pm.reg["v1"] = clamp01(vm.reg["oD1"]);
    pm.reg["t0"] = vm.reg["oT0"];
    pm.reg["t1"] = vm.reg["oT1"];
    pm.sample = [&](const Vec4&) { return s.texel; };
    pm.run(program("rim_ps13.psh"));
    const Vec4 n = clamp01(worldNormal);
    const Vec4 v = {std::clamp(view[0], 0.0f, 1.0f), std::clamp(view[1], 0.0f, 1.0f), std::clamp(view[2], 0.0f, 1.0f), 1};
    const float rim = std::pow(1 - dot4(n, v), 2.0f);
    const float sum = s.texel[0] + s.texel[1] + s.texel[2] + s.texel[3];
    Vec4 want{};
    for (std::size_t k = 0; k < 4; ++k) {
        want[k] = s.colour[k] * 0.5f * rim * sum;
    }
    expectVec(pm.reg["r0"], want, 4, "fallback colour");
}

} // namespace
