#include "geometry/genmesh.h"

#include "debuglog/log.h"
#include "dx/dxdevice.h"
#include "dx/dxindexbuffer.h"
#include "dx/dxvertexbuffer.h"
#include "errors/errors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr const char* kFile = "genmesh";
constexpr const char* kBudgetMessage = "keffo biatch, add more pollys, cheap bastard";

// Squared distance under which a band-2 border vertex joins an earlier vertex.
constexpr float kWeldDistance2 = 0.0001f;

// The largest subdivision whose (6n + 2)(n + 1) vertices a 16-bit index can
// still reach; larger budgets are held to it so that every index names a
// vertex of the pool's first hardware buffer.
constexpr int kMaxSubdivision = 103;

Vector3 load(const float* p) {
    return {p[0], p[1], p[2]};
}

void store(float* p, const Vector3& v) {
    p[0] = v.x;
    p[1] = v.y;
    p[2] = v.z;
}

Vector3 minus(const Vector3& a, const Vector3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

float distance2(const float* a, const float* b) {
    const float dx = a[0] - b[0];
    const float dy = a[1] - b[1];
    const float dz = a[2] - b[2];
    return dx * dx + dy * dy + dz * dz;
}

// 2k/n - 1 style steps of the cube's grid lines: the j-th of n + 1 values from -1 to 1.
float step(int j, int n) {
    return static_cast<float>(2 * j) / static_cast<float>(n);
}

} // namespace

mesh::mesh(device* ownerDevice, int vertexCount, int indexCount, bool dynamic, int texCoordSets, bool hasColor)
    : indexed(indexCount > 0), owner(ownerDevice), world{} {
    logPrintf("new vb");
    vertices = std::make_unique<vertexbuffer>(owner, vertexCount, dynamic, texCoordSets, hasColor, true);
    if (indexed) {
        logPrintf("new ib");
        indices = std::make_unique<indexbuffer>(owner, indexCount);
        indices->setVertices(vertices.get());
    }
    logPrintf("identity");
    identity(world);
}

mesh::~mesh() = default;

void mesh::draw() {
    owner->setWorld(world);
    if (indexed) {
        indices->draw();
    } else {
        vertices->drawTriangles(-1);
    }
}

int mesh::triangleCount() {
    return indexed ? indices->indexCount / 3 : vertices->vertexCount / 3;
}

int mesh::corner(int t, int c) {
    return indexed ? *indices->indexAt(t * 3 + c) : t * 3 + c;
}

genmesh::genmesh(device* ownerDevice, int) : owner(ownerDevice) {}

std::unique_ptr<mesh> genmesh::createCube(int budget, bool dynamic, int texCoordSets, bool hasColor) {
    if (budget < 12) {
        errors::raiseError(kBudgetMessage, kFile, 33);
    }
    const float quads = static_cast<float>(budget) * 0.083333336f;
    const int n = std::min(static_cast<int>(std::floor(std::sqrt(static_cast<double>(quads)))), kMaxSubdivision);
    const int ring = 3 * n + 1;
    const int bandVertices = (n + 1) * ring;
    const int indexCount = 36 * n * n;

    logPrintf("new mesh");
    auto m = std::make_unique<mesh>(owner, 2 * bandVertices, indexCount, dynamic, texCoordSets, hasColor);
    logPrintf("mesh created");
    vertexbuffer& vb = *m->vertices;

    // Band 1 runs over the faces z = 1, y = 1, z = -1 in rings of constant x;
    // band 2 over x = 1, y = -1, x = -1 in rings of constant z.
    int v = 0;
    for (int k = 0; k <= n; ++k) {
        const float x = 1.0f - step(k, n);
        for (int j = 0; j <= n; ++j) {
            store(vb.position(v++, true), {x, step(j, n) - 1.0f, 1.0f});
        }
        for (int j = 1; j <= n; ++j) {
            store(vb.position(v++, true), {x, 1.0f, 1.0f - step(j, n)});
        }
        for (int j = 1; j <= n; ++j) {
            store(vb.position(v++, true), {x, 1.0f - step(j, n), -1.0f});
        }
    }
    for (int k = 0; k <= n; ++k) {
        const float z = 1.0f - step(k, n);
        for (int j = 0; j <= n; ++j) {
            store(vb.position(v++, true), {1.0f, 1.0f - step(j, n), z});
        }
        for (int j = 1; j <= n; ++j) {
            store(vb.position(v++, true), {1.0f - step(j, n), -1.0f, z});
        }
        for (int j = 1; j <= n; ++j) {
            store(vb.position(v++, true), {-1.0f, step(j, n) - 1.0f, z});
        }
    }
    vb.resetToRest();

    // The first earlier vertex at the same place (working copy against rest copy), or the index itself.
    auto weldTarget = [&vb](int index) {
        const float* p = vb.position(index, true);
        for (int w = 0; w < index; ++w) {
            if (distance2(vb.position(w, false), p) < kWeldDistance2) {
                return w;
            }
        }
        return index;
    };

    // Written through indexAt so that a list longer than one piece carries on
    // in the next piece; 65,535 is a multiple of 3, so no triangle is split.
    int at = 0;
    for (int band = 0; band < 2; ++band) {
        const int base = band * bandVertices;
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < 3 * n; ++j) {
                const int first = base + i * ring + j;
                int quad[6] = {first, first + 1, first + ring, first + 1, first + ring + 1, first + ring};
                const bool border = i == 0 || i == n - 1 || j == 0 || j == 3 * n - 1;
                for (int& index : quad) {
                    if (band == 1 && border) {
                        index = weldTarget(index);
                    }
                    *m->indices->indexAt(at++) = static_cast<std::uint16_t>(index);
                }
            }
        }
    }
    logPrintf("jox satanas");
    m->indices->upload();

    computeTexCoords(*m, geometry::TexCoordMode::box, 0, true, 1.0f, 1.0f, 1.0f, 1.0f);
    computeNormals(*m, true);
    vb.resetToRest();
    vb.upload();
    logPrintf("joxat satanas");
    return m;
}

std::unique_ptr<mesh> genmesh::createSphere(int budget, float amount, bool dynamic, int texCoordSets, bool hasColor) {
    logPrintf("generating alcastone");
    auto m = createCube(budget, dynamic, texCoordSets, hasColor);
    logPrintf("spherifys alcastone");
    spherify(*m, amount, true);
    logPrintf("resettar bob");
    m->vertices->resetToRest();
    logPrintf("calcar normals");
    computeNormals(*m, false);
    logPrintf("calcar texcoords");
    computeTexCoords(*m, geometry::TexCoordMode::spherical, 0, false, 1.0f, 1.0f, 2.0f, 2.0f);
    logPrintf("updates");
    m->vertices->upload();
    logPrintf("returns");
    return m;
}

void genmesh::spherify(mesh& m, float t, bool rest) {
    vertexbuffer& vb = *m.vertices;
    const float keep = 1.0f - t;
    for (int i = 0; i < vb.vertexCount; ++i) {
        float* p = vb.position(i, rest);
        const float length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        const float s = (t / length) * t + keep;
        p[0] *= s;
        p[1] *= s;
        p[2] *= s;
    }
    computeNormals(m, rest);
}

void genmesh::computeNormals(mesh& m, bool rest) {
    vertexbuffer& vb = *m.vertices;
    const int triangles = m.triangleCount();
    std::vector<Vector3> faces(static_cast<std::size_t>(std::max(triangles, 0)));
    for (int t = 0; t < triangles; ++t) {
        const Vector3 p0 = load(vb.position(m.corner(t, 0), rest));
        const Vector3 p1 = load(vb.position(m.corner(t, 1), rest));
        const Vector3 p2 = load(vb.position(m.corner(t, 2), rest));
        Vector3 c{};
        cross(minus(p0, p1), c, minus(p0, p2));
        normalize(c, faces[static_cast<std::size_t>(t)]);
    }
    for (int i = 0; i < vb.vertexCount; ++i) {
        store(vb.normal(i, rest), {0.0f, 0.0f, 0.0f});
    }
    for (int t = 0; t < triangles; ++t) {
        const Vector3& f = faces[static_cast<std::size_t>(t)];
        for (int c = 0; c < 3; ++c) {
            float* n = vb.normal(m.corner(t, c), rest);
            n[0] += f.x;
            n[1] += f.y;
            n[2] += f.z;
        }
    }
    for (int i = 0; i < vb.vertexCount; ++i) {
        float* n = vb.normal(i, rest);
        Vector3 unit{};
        normalize(load(n), unit);
        store(n, unit);
    }
}

void genmesh::computeTexCoords(mesh& m, geometry::TexCoordMode mode, int byteOffset, bool rest, float offsetU,
                               float offsetV, float scaleU, float scaleV) {
    constexpr float kHalfPi = 1.5707964f;
    constexpr float kInvPi = 0.31830987f;
    constexpr float kInvTwoPi = 0.15915494f;
    vertexbuffer& vb = *m.vertices;
    const int triangles = m.triangleCount();
    for (int t = 0; t < triangles; ++t) {
        for (int c = 0; c < 3; ++c) {
            const int v = m.corner(t, c);
            const float* p = vb.position(v, false);
            const float x = p[0];
            const float y = p[1];
            const float z = p[2];
            float a = 0.0f;
            float b = 0.0f;
            float w = 0.0f;
            switch (mode) {
            case geometry::TexCoordMode::spherical:
                // Latitude-like angles about y and about x: both stay inside
                // their range, so no triangle wraps around.
                a = (std::atan2(y, std::sqrt(x * x + z * z)) + kHalfPi) * kInvPi;
                b = (std::atan2(x, std::sqrt(y * y + z * z)) + kHalfPi) * kInvTwoPi;
                w = b;
                break;
            case geometry::TexCoordMode::fixed:
                a = c == 0 ? 0.0f : 1.0f;
                b = c == 2 ? 1.0f : 0.0f;
                w = b;
                break;
            case geometry::TexCoordMode::cylindrical:
                a = std::atan2(y, x);
                b = z * 0.1f;
                w = y * 0.1f;
                break;
            case geometry::TexCoordMode::box:
                // The plane of the two axes other than the dominant one gives
                // a and b; w holds the dominant coordinate.
                if (std::fabs(x) >= std::fabs(y) && std::fabs(x) >= std::fabs(z)) {
                    a = z;
                    b = y;
                    w = x;
                } else {
                    a = x;
                    if (std::fabs(z) > std::fabs(y)) {
                        b = y;
                        w = z;
                    } else {
                        b = z;
                        w = y;
                    }
                }
                a *= 0.1f;
                b *= 0.1f;
                w *= 0.1f;
                break;
            }
            float* out = vb.texCoord(byteOffset, v, rest);
            out[0] = (offsetU + a) * scaleU;
            out[1] = (offsetV + b) * scaleV;
            out[2] = (offsetV + w) * scaleV;
        }
    }
    vb.upload();
}
