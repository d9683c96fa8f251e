// The blob sculpture: three pairs of helical tubes of tiny balls along the
// three axes, blended with one soft central ball, blurred and extracted once
// into a mesh at start-up, then drawn spinning every frame through the rim
// shaders' constants (magenta over a green ambient term).
#pragma once

#include "dx/dxdevice.h"

#include <memory>

class metamecklo;

namespace effects {

class BlobSculpture {
  public:
    BlobSculpture();
    ~BlobSculpture();
    BlobSculpture(const BlobSculpture&) = delete;
    BlobSculpture& operator=(const BlobSculpture&) = delete;

    // The 100^3 field, 1,926 signed balls on the helices, the central ball,
    // seven blurs, the mesh and the rim shader pair the caps allow.
    void buildBlobSculpture(device& d);

    // One frame at scene time t; `s` is not read. The spin reaches the
    // picture only through the shader constants.
    void drawBlobSculpture(device& d, float t, dx::Vector4 cameraPosition, float s);

    metamecklo* sculpture() const { return sculpture_.get(); }
    // How many signed balls the helices placed.
    int ballCount() const { return balls_; }

  private:
    std::unique_ptr<metamecklo> sculpture_;
    int balls_ = 0;
};

} // namespace effects
