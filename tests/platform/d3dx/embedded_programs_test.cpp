// The vertex halves of the embedded rim programs, run on the CPU by the
// assembly interpreter and held against what they are meant to compute (the
// pixel halves are checked on the device, shader_render_test.cpp).
#include "tests/shadercompiler/hlsl/asm_machine.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

namespace {

using shadercompiler::hlsl::test::AsmMachine;
using shadercompiler::hlsl::test::Vec4;
using Matrix = std::array<Vec4, 4>;

std::string program(const char* name) {
    return tests::support::fileText(tests::support::sourcePath(std::string("resources/shaders/") + name));
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

float dot4(const Vec4& a, const Vec4& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
}

void expectVec(const Vec4& got, const Vec4& want, int lanes, const char* what) {
    for (int k = 0; k < lanes; ++k) {
        EXPECT_NEAR(got[static_cast<std::size_t>(k)], want[static_cast<std::size_t>(k)], 1e-5f)
            << what << " lane " << k;
    }
}

struct Scene {
    Matrix wvp{};
    Matrix world{};
    Vec4 camera{};
    Vec4 colour{0.8f, 0.2f, 0.6f, 1.0f};
    Vec4 position{};
    Vec4 normal{};
    Vec4 uv{};

    // The constant upload of the program: rows as stored, the normal matrix
    // being the world matrix without its translation.
    void load(AsmMachine& vm) const {
        for (int i = 0; i < 4; ++i) {
            const auto r = static_cast<std::size_t>(i);
            vm.reg["c" + std::to_string(i)] = wvp[r];
            vm.reg["c" + std::to_string(4 + i)] = world[r];
            vm.reg["c" + std::to_string(8 + i)] = i == 3 ? Vec4{0, 0, 0, world[r][3]} : world[r];
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

// The camera's w takes part in the normalised view vector: 1 gives a 3-D
// direction, 0 (what the sculpture scene passes) a w of -1 before normalising.
TEST(RimProgram, VertexOutputs) {
    for (float cameraW : {1.0f, 0.0f}) {
        Scene s = baseScene();
        s.camera[3] = cameraW;
        AsmMachine vm;
        s.load(vm);
        vm.run(program("rim_vs20.vsh"));
        expectVec(vm.reg["oPos"], rowTimes(s.position, s.wvp, 4), 4, "clip position");
        expectVec(vm.reg["oT0"], {0.5f, 1.2f, 0, 0}, 2, "doubled texture coordinates");
        // The normal matrix is the world matrix without its translation row.
        expectVec(vm.reg["oT1"], rowTimes(s.normal, s.world, 3), 4, "world normal");
        expectVec(vm.reg["oT2"], viewVector(s), 4, "view vector");
        expectVec(vm.reg["oD0"], s.colour, 4, "diffuse");
    }
}

TEST(FallbackProgram, NormalThroughSecondColourViewThroughSetOne) {
    Scene s = baseScene();
    s.normal = {0.2f, 0.6f, 0.3f, 1.0f};
    AsmMachine vm;
    s.load(vm);
    vm.run(program("rim_vs11.vsh"));
    expectVec(vm.reg["oPos"], rowTimes(s.position, s.wvp, 4), 4, "clip position");
    expectVec(vm.reg["oT0"], {0.5f, 1.2f, 0, 0}, 2, "doubled texture coordinates");
    expectVec(vm.reg["oD1"], rowTimes(s.normal, s.world, 3), 4, "normal in the second colour");
    expectVec(vm.reg["oT1"], viewVector(s), 3, "view vector in set 1");
    expectVec(vm.reg["oD0"], s.colour, 4, "diffuse");
}

} // namespace
