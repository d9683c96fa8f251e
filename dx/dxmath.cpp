#include "dx/dxmath.h"

#include "debuglog/log.h"
#include "platform/kernel/kernel.h"

#include <cmath>

namespace {

struct Vec3d {
    double x, y, z;
};

Vec3d widen(const Vector3& v) {
    return {v.x, v.y, v.z};
}
Vector3 narrow(const Vec3d& v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}
double dot(const Vec3d& a, const Vec3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
double lengthOf(const Vec3d& v) {
    return std::sqrt(dot(v, v));
}

using Matrix3d = double[3][3];

} // namespace

void identity(Matrix& m) {
    m = Matrix{};
    m.m[0][0] = m.m[1][1] = m.m[2][2] = m.m[3][3] = 1.0f;
}

void multiply(const Matrix& a, Matrix& out, const Matrix& b) {
    Matrix result;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(a.m[i][k]) * b.m[k][j];
            }
            result.m[i][j] = static_cast<float>(sum);
        }
    }
    out = result;
}

void scaleRows(Matrix& m, float sx, float sy, float sz) {
    const float scale[3] = {sx, sy, sz};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            m.m[r][c] = static_cast<float>(static_cast<double>(m.m[r][c]) * scale[r]);
        }
    }
}

void rotationXYZ(Matrix& m, float ax, float ay, float az) {
    const double cx = std::cos(static_cast<double>(ax)), sx = std::sin(static_cast<double>(ax));
    const double cy = std::cos(static_cast<double>(ay)), sy = std::sin(static_cast<double>(ay));
    const double cz = std::cos(static_cast<double>(az)), sz = std::sin(static_cast<double>(az));
    const Matrix3d rx = {{1, 0, 0}, {0, cx, sx}, {0, -sx, cx}};
    const Matrix3d ry = {{cy, 0, -sy}, {0, 1, 0}, {sy, 0, cy}};
    const Matrix3d rz = {{cz, sz, 0}, {-sz, cz, 0}, {0, 0, 1}};
    Matrix3d zy{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                zy[i][j] += rz[i][k] * ry[k][j];
            }
        }
    }
    identity(m);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) {
                sum += zy[i][k] * rx[k][j];
            }
            m.m[i][j] = static_cast<float>(sum);
        }
    }
}

void invertRigid(Matrix& out, const Matrix& m) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            out.m[r][c] = m.m[c][r];
        }
        out.m[r][3] = 0.0f;
    }
    for (int j = 0; j < 3; ++j) {
        const double sum = static_cast<double>(m.m[3][0]) * m.m[j][0] + static_cast<double>(m.m[3][1]) * m.m[j][1] +
                           static_cast<double>(m.m[3][2]) * m.m[j][2];
        out.m[3][j] = static_cast<float>(-sum);
    }
    out.m[3][3] = 1.0f;
}

void invertRigid(Matrix& m) {
    const Matrix copy = m;
    invertRigid(m, copy);
}

void perspective(Matrix& m, float fov) {
    m = Matrix{};
    const float scale = static_cast<float>(1.0 / std::tan(static_cast<double>(fov) / 2.0));
    m.m[0][0] = scale;
    m.m[1][1] = scale;
    m.m[2][2] = static_cast<float>(1000.0 / 999.9);
    m.m[2][3] = 1.0f;
    m.m[3][2] = static_cast<float>(-100.0 / 999.9);
}

void transformPoint(const Vector3& p, Vector3& out, const Matrix& m) {
    const Vec3d v = widen(p);
    Vec3d r;
    r.x = v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0];
    r.y = v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1];
    r.z = v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2];
    out = narrow(r);
}

void cross(const Vector3& a, Vector3& out, const Vector3& b) {
    const Vec3d u = widen(a), v = widen(b);
    out = narrow({u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x});
}

void normalize(const Vector3& v, Vector3& out) {
    const Vec3d w = widen(v);
    const double squared = dot(w, w);
    if (squared == 0.0) {
        out = {0.0f, 0.0f, 0.0f};
        return;
    }
    const double length = std::sqrt(squared);
    out = narrow({w.x / length, w.y / length, w.z / length});
}

void normalizeInPlace(Vector3& v, Vector3& out) {
    normalize(v, v);
    out = v;
}

void lookAt(Matrix& m, const Vector3& target, const Vector3& eye, const Vector3& up) {
    Vector3 z;
    normalize({target.x - eye.x, target.y - eye.y, target.z - eye.z}, z);
    const Vec3d zd = widen(z);
    const Vec3d u = widen(up);
    const double along = dot(zd, u);
    constexpr double kShortest = 1e-6;
    Vec3d y{u.x - zd.x * along, u.y - zd.y * along, u.z - zd.z * along};
    if (lengthOf(y) < kShortest) {
        y = {-zd.x * zd.y, 1.0 - zd.y * zd.y, -zd.z * zd.y};
        if (lengthOf(y) < kShortest) {
            y = {-zd.x * zd.z, -zd.y * zd.z, 1.0 - zd.z * zd.z};
            if (lengthOf(y) < kShortest) {
                return;
            }
        }
    }
    Vector3 yn, x;
    normalize(narrow(y), yn);
    cross(yn, x, z);
    const Vector3 axes[3] = {x, yn, z};
    const Vec3d e = widen(eye);
    for (int c = 0; c < 3; ++c) {
        const Vec3d a = widen(axes[c]);
        m.m[0][c] = axes[c].x;
        m.m[1][c] = axes[c].y;
        m.m[2][c] = axes[c].z;
        m.m[3][c] = static_cast<float>(-dot(a, e));
    }
    m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f;
    m.m[3][3] = 1.0f;
}

void lookAtUp(Matrix& m, const Vector3& target, const Vector3& eye) {
    lookAt(m, target, eye, {0.0f, 1.0f, 0.0f});
}

void logVector3(const Vector3& v, const char* title) {
    if (title != nullptr) {
        // The title is a line of its own, passed through unformatted.
        OutputDebugStringA(title);
        OutputDebugStringA("\n");
    }
    logPrintf("[%f] [%f] [%f]", static_cast<double>(v.x), static_cast<double>(v.y), static_cast<double>(v.z));
}
