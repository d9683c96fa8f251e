// A point or direction of three 32-bit floats.
#pragma once

struct Vector3 {
    float x;
    float y;
    float z;
};
