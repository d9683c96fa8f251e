// Vectors, 4 x 4 matrices and cameras, in the platform's conventions:
// row-major m[row][column], row vectors (p' = p x M), translation in row 3,
// left-handed, radians. Sums are formed in double and each result element is
// rounded to float once.
#pragma once

#include "dx/vector3.h"

// Same layout as the platform's D3DMATRIX.
struct Matrix {
    float m[4][4];
};

// m = the identity.
void identity(Matrix& m);
// out = a x b; out may be a or b.
void multiply(const Matrix& a, Matrix& out, const Matrix& b);
// Scales the first three elements of rows 0, 1 and 2 by sx, sy and sz.
void scaleRows(Matrix& m, float sx, float sy, float sz);
// m = Rz x Ry x Rx: a point turns about z first, then y, then x.
void rotationXYZ(Matrix& m, float ax, float ay, float az);
// out = inverse of the rotation-plus-translation m (out must not be m).
void invertRigid(Matrix& out, const Matrix& m);
// m = its own rigid inverse.
void invertRigid(Matrix& m);
// Left-handed perspective, near 0.1, far 1,000, aspect 1.
void perspective(Matrix& m, float fov);
// out = first three components of (p, 1) x m, without division by w.
void transformPoint(const Vector3& p, Vector3& out, const Matrix& m);
// out = a x b.
void cross(const Vector3& a, Vector3& out, const Vector3& b);
// out = v / |v|, or (0, 0, 0) when |v|^2 is exactly 0.
void normalize(const Vector3& v, Vector3& out);
// Normalises v itself and copies it to out.
void normalizeInPlace(Vector3& v, Vector3& out);
// View matrix looking from eye at target with the up hint; leaves m unchanged
// when no usable up direction exists.
void lookAt(Matrix& m, const Vector3& target, const Vector3& eye, const Vector3& up);
// lookAt with up = (0, 1, 0).
void lookAtUp(Matrix& m, const Vector3& target, const Vector3& eye);

// Logs title (when not null, unformatted), then "[%f] [%f] [%f]".
void logVector3(const Vector3& v, const char* title);
