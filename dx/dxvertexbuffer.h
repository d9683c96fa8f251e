// A vertex pool: a working copy and a rest copy of the vertices in system
// memory, mirrored into hardware vertex buffers of at most 65,535 vertices
// each, with its declaration, shaders, per-vertex flags and bounding box.
//
// Layout per vertex: position (12 bytes), normal (12), colour (4, optional),
// then the texture-coordinate sets (three floats each). Vertex i of hardware
// buffer b is vertex b × 65,535 + i of the working copy. Raises carry the
// source "dxvertexbuffer".
#pragma once

#include "dx/dxmath.h"
#include "dx/lazyzero.h"
#include "platform/d3d9/d3d9.h"

#include <cstdint>
#include <vector>

class device;

namespace dx {

// Vertices in one hardware buffer: the most a 16-bit index can reach.
inline constexpr int kMaxChunkVertices = 65535;
// Hardware buffers a pool may use; a larger pool raises "auto throw(logic)".
inline constexpr int kMaxPoolBuffers = 10;

} // namespace dx

class vertexbuffer {
  public:
    vertexbuffer(device* owner, int vertexCount, bool dynamic, int texCoordSets, bool hasColor, bool createNow);
    ~vertexbuffer();
    vertexbuffer(const vertexbuffer&) = delete;
    vertexbuffer& operator=(const vertexbuffer&) = delete;

    // Makes the hardware buffers for the current vertexCount (none for 0).
    void createBuffers();
    // Copies the working copy into the hardware buffers; the argument has no effect.
    void upload(int ignored = 0);
    // Copies vertices first to first + count - 1 of the working copy into
    // the hardware buffers that hold them, locking only their bytes (with
    // no-overwrite when dynamic). After a whole upload, an owner that wrote
    // only those vertices leaves the hardware buffers as upload would.
    void uploadVertices(int first, int count);
    // Resizes both copies keeping their leading contents, clears the flags and
    // remakes the hardware buffers when there were any. Uploads nothing.
    void setVertexCount(int count);

    float* position(int i, bool rest);
    float* normal(int i, bool rest);
    // Address of a texture coordinate of vertex i: byteOffset 0 for u, 4 for v, 8 for w.
    float* texCoord(int byteOffset, int i, bool rest);
    void resetToRest();
    void markVertex(int i);
    // boxMin / boxMax of the working positions; a pool without vertices keeps the first slot's.
    void computeBounds();

    void bindBuffer(int b);
    void applyVertexShader();
    void applyPixelShader();
    // Points of the first hardware buffer only.
    void drawPoints();
    // Triangle lists of consecutive vertices; -1 draws vertexCount / 3.
    void drawTriangles(int count);

    device* owner;
    dx::LazyZeroArray<std::uint8_t> vertices;
    dx::LazyZeroArray<std::uint8_t> restVertices;
    std::vector<std::uint8_t> vertexFlags;
    std::uint32_t byteSize;
    std::uint32_t stride;
    std::uint32_t elementCount;
    std::uint32_t elementIndex;
    std::uint32_t elementOffset;
    std::vector<D3DVERTEXELEMENT9> elements;
    IDirect3DVertexDeclaration9* declaration;
    std::int32_t vertexCount;
    std::uint32_t positionOffset;
    std::uint32_t normalOffset;
    std::uint32_t texCoordOffset;
    std::uint32_t colorOffset;
    std::uint32_t texCoordSets;
    bool dynamic;
    std::int32_t bufferCount;
    std::int32_t chunkVertexCount[dx::kMaxPoolBuffers];
    IDirect3DVertexBuffer9* buffers[dx::kMaxPoolBuffers];
    IDirect3DVertexShader9* vertexShader;
    IDirect3DPixelShader9* pixelShader;
    Matrix objectMatrix;
    Matrix objectMatrix2;
    float spare[3];
    float boxMin[3];
    float boxMax[3];

  private:
    void appendElement(BYTE type, BYTE usage, BYTE usageIndex, std::uint32_t size);
    void releaseBuffers();
};
