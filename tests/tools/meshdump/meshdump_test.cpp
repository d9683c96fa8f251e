// meshdump run as a program: every OBJ file parses, its faces index existing
// vertices from 1, its normals are unit vectors, its counts are those of the
// mesh built the same way here (on the mock device, or by the cube's rule),
// the cube and sphere are closed; bad arguments give the usage
// line and status 2, a folder that cannot hold files status 1 naming the file.
#include "dx/dxdevice.h"
#include "dx/dxvertexbuffer.h"
#include "effects/blobsculpture.h"
#include "geometry/metamecklo.h"
#include "platform/crt/random.h"
#include "tests/dx/fakedevice.h"
#include "tests/geometry/surface.h"
#include "tests/support/paths.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

using ::testing::NiceMock;

// Runs the tool from the build folder (the blob scene opens "shaders/").
tests::support::Outcome runTool(const std::string& arguments) {
    return tests::support::runShell("cd '" + tests::support::buildPath("") + "' && '" MESHDUMP_TOOL "' " + arguments +
                                    " >/dev/null");
}

struct Obj {
    int objects = 0;
    std::vector<std::array<float, 3>> v;
    std::vector<std::array<float, 3>> vt; // u, v, 0
    std::vector<std::array<float, 3>> vn;
    std::vector<std::array<int, 9>> f; // v/vt/vn of three corners, as written
    std::vector<std::string> faults;
};

Obj parseObj(const std::string& path) {
    Obj obj;
    std::ifstream in(path);
    if (!in) {
        obj.faults.push_back("cannot open " + path);
        return obj;
    }
    for (std::string line; std::getline(in, line);) {
        std::istringstream s(line);
        std::string tag;
        s >> tag;
        if (tag == "v" || tag == "vt" || tag == "vn") {
            std::array<float, 3> p{};
            s >> p[0] >> p[1];
            if (tag != "vt") {
                s >> p[2];
            }
            (tag == "v" ? obj.v : tag == "vt" ? obj.vt : obj.vn).push_back(p);
            if (s.fail()) {
                obj.faults.push_back("unreadable line: " + line);
            }
        } else if (tag == "f") {
            std::array<int, 9> face{};
            int end = -1;
            std::sscanf(line.c_str(), "f %d/%d/%d %d/%d/%d %d/%d/%d%n", &face[0], &face[1], &face[2], &face[3],
                        &face[4], &face[5], &face[6], &face[7], &face[8], &end);
            if (end != static_cast<int>(line.size())) {
                obj.faults.push_back("face not of three v/vt/vn corners: " + line);
            }
            obj.f.push_back(face);
        } else if (tag == "o") {
            ++obj.objects;
        } else if (!tag.empty() && tag[0] != '#') {
            obj.faults.push_back("unknown line: " + line);
        }
    }
    return obj;
}

// Welded by exact position, as the library's closed-surface tests do.
geometry::test::Topology topologyOf(const Obj& obj) {
    std::vector<geometry::test::Point> corners;
    for (const auto& face : obj.f) {
        for (int c = 0; c < 3; ++c) {
            corners.push_back(obj.v[static_cast<std::size_t>(face[3 * c] - 1)]);
        }
    }
    return geometry::test::topologyOf(corners);
}

const char* const kNames[] = {"cube", "sphere", "ball", "tubes", "sculpture", "blobscene"};

class MeshDump : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // One folder per process: ctest runs each test in a process of its own,
        // several at once.
        folder = std::filesystem::current_path().string() + "/out-" + std::to_string(getpid());
        std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "'").c_str());
        first = runTool("'" + folder + "'");
        for (const char* name : kNames) {
            files[name] = parseObj(folder + "/" + name + ".obj");
        }
    }
    static void TearDownTestSuite() { std::system(("rm -rf '" + folder + "'").c_str()); }
    void SetUp() override { ASSERT_EQ(first.status, 0) << first.err; }

    // The field meshes built here with the tool's recipes, on the mock device.
    MeshDump() { d.d3dDevice = &mock; }
    std::unique_ptr<metamecklo> field() {
        ::testing::internal::CaptureStderr();
        auto m = std::make_unique<metamecklo>(&d, 40, 40, 40, 5.0f, 5.0f, 5.0f, 2.5f, 2.5f, 2.5f, true);
        ::testing::internal::GetCapturedStderr();
        return m;
    }
    // Every position of the OBJ equals the pool's, in order.
    static void expectSamePositions(const Obj& obj, metamecklo& m, const char* name) {
        ASSERT_EQ(obj.v.size(), static_cast<std::size_t>(m.meshVertexCount)) << name;
        ASSERT_EQ(obj.f.size() * 3, obj.v.size()) << name;
        int differ = 0;
        for (int i = 0; i < m.meshVertexCount; ++i) {
            const float* p = m.vertices->position(i, false);
            const auto& q = obj.v[static_cast<std::size_t>(i)];
            differ += (p[0] != q[0] || p[1] != q[1] || p[2] != q[2]) ? 1 : 0;
        }
        EXPECT_EQ(differ, 0) << name;
    }

    NiceMock<dx::test::Device> mock;
    device d;
    static std::string folder;
    static tests::support::Outcome first;
    static std::map<std::string, Obj> files;
};

std::string MeshDump::folder;
tests::support::Outcome MeshDump::first;
std::map<std::string, Obj> MeshDump::files;

TEST_F(MeshDump, EveryFileIsOneObjectWithInRangeOneBasedIndicesAndUnitNormals) {
    for (const char* name : kNames) {
        const Obj& obj = files[name];
        EXPECT_TRUE(obj.faults.empty()) << name << ": " << (obj.faults.empty() ? "" : obj.faults.front());
        EXPECT_EQ(obj.objects, 1) << name;
        ASSERT_FALSE(obj.f.empty()) << name;
        EXPECT_EQ(std::make_pair(obj.vt.size(), obj.vn.size()), std::make_pair(obj.v.size(), obj.v.size())) << name;
        const int count = static_cast<int>(obj.v.size());
        int outOfRange = 0;
        std::vector<bool> used(obj.v.size(), false);
        for (const auto& face : obj.f) {
            for (int k : face) {
                if (k < 1 || k > count) {
                    ++outOfRange;
                } else {
                    used[static_cast<std::size_t>(k - 1)] = true;
                }
            }
        }
        EXPECT_EQ(outOfRange, 0) << name;
        // The cube's pool keeps band 2's welded border vertices, which no
        // triangle uses and whose normals stay zero; the normals that are
        // drawn are unit vectors.
        int notUnit = 0;
        for (std::size_t i = 0; i < obj.vn.size(); ++i) {
            const auto& n = obj.vn[i];
            const bool unit = std::fabs(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) - 1.0f) <= 1e-4f;
            notUnit += (used[i] && !unit) ? 1 : 0;
        }
        EXPECT_EQ(notUnit, 0) << name;
        if (std::string(name) != "cube" && std::string(name) != "sphere") {
            // The field's meshes are triangle lists: vertex 3t + c is corner c of triangle t.
            int misplaced = 0;
            for (std::size_t t = 0; t < obj.f.size(); ++t) {
                for (int c = 0; c < 3; ++c) {
                    const int k = static_cast<int>(3 * t) + c + 1;
                    const auto& face = obj.f[t];
                    misplaced += (face[3 * c] != k || face[3 * c + 1] != k || face[3 * c + 2] != k) ? 1 : 0;
                }
            }
            EXPECT_EQ(misplaced, 0) << name;
        }
    }
}

TEST_F(MeshDump, CubeAndSphereHaveTheCountsOfTheirBudgets) {
    // n = floor(sqrt(budget / 12)) quads a side: (6n + 2)(n + 1) pool vertices, 12 n^2 triangles.
    // Welded: the 6 n^2 + 2 distinct corners of a closed quad-faced cube, no
    // open edge, Euler characteristic 2.
    for (const auto& [name, budget] : {std::pair<const char*, int>{"cube", 2000}, {"sphere", 4000}}) {
        const std::size_t n = static_cast<std::size_t>(std::floor(std::sqrt(budget / 12.0)));
        const geometry::test::Topology t = topologyOf(files[name]);
        EXPECT_EQ(std::make_tuple(files[name].v.size(), files[name].f.size(), t.vertices, t.openEdges, t.euler()),
                  std::make_tuple((6 * n + 2) * (n + 1), 12 * n * n, 6 * n * n + 2, std::size_t{0}, 2L))
            << name;
    }
    // Amount 1 puts every vertex on the unit sphere.
    int off = 0;
    for (const auto& p : files["sphere"].v) {
        off += std::fabs(std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) - 1.0f) > 1e-5f ? 1 : 0;
    }
    EXPECT_EQ(off, 0);
}

TEST_F(MeshDump, TheBallIsTheFieldsMesh) {
    auto m = field();
    m->setIsoLevel(0.25f);
    const float centre[3] = {0.5f, 0.5f, 0.5f};
    m->addSignedBall(0.2f, 1.0f, centre);
    m->clearBorders();
    m->buildMesh();
    expectSamePositions(files["ball"], *m, "ball");
}

TEST_F(MeshDump, TheTubeFrameAndTheBlobSceneAtFiveSecondsAreTheTubeSetFromTheFirstSeed) {
    auto m = field();
    m->setIsoLevel(0.5f);
    platform::crt::srand(1);
    m->initTubeSet();
    m->addTubeSet(5.0f, 0.0f, 0.1f, 1.0f, 1.0f);
    m->blurField();
    m->blurField();
    m->buildMesh();
    expectSamePositions(files["tubes"], *m, "tubes");
    expectSamePositions(files["blobscene"], *m, "blobscene");
}

TEST_F(MeshDump, TheSculptureIsTheEffectsMesh) {
    effects::BlobSculpture sculpture;
    ::testing::internal::CaptureStderr();
    sculpture.buildBlobSculpture(d);
    ::testing::internal::GetCapturedStderr();
    expectSamePositions(files["sculpture"], *sculpture.sculpture(), "sculpture");
}

TEST_F(MeshDump, BadArgumentsGiveTheUsageLineAndStatusTwo) {
    for (const std::string& args : {std::string(""), std::string("a b"), std::string("--png"),
                                    std::string("--bogus dir"), std::string("--png a b")}) {
        const tests::support::Outcome r = runTool(args);
        EXPECT_EQ(r.status, 2) << "'" << args << "'";
        EXPECT_NE(r.err.find("usage: meshdump"), std::string::npos) << "'" << args << "': " << r.err;
    }
}

TEST_F(MeshDump, AFolderThatCannotHoldFilesGivesStatusOneNamingTheFile) {
    // A path below a plain file is no folder, whoever runs the test.
    const std::string plain = std::filesystem::current_path().string() + "/plain-file";
    std::ofstream(plain) << "x";
    const tests::support::Outcome r = runTool("'" + plain + "/sub'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(plain + "/sub/cube.obj"), std::string::npos) << r.err;
}

} // namespace
