// A 16-bit triangle-list index pool: the list is cut into pieces of at most
// 65,535 indices, each in an array and a hardware buffer of its own, and is
// drawn against the first hardware buffer of one vertex pool. Index i of the
// whole list is element i mod 65,535 of piece i div 65,535. Raises carry the
// source "dxindexbuffer".
#pragma once

#include "platform/d3d9/d3d9.h"

#include <cstdint>
#include <vector>

class device;
class vertexbuffer;

namespace dx {

inline constexpr int kMaxChunkIndices = 65535;
// Pieces a list may use; a longer list raises "auto throw(logic)".
inline constexpr int kMaxIndexPieces = 10;

} // namespace dx

class indexbuffer {
  public:
    // Allocates the pieces (not cleared), creates the hardware buffers and uploads.
    indexbuffer(device* owner, int indexCount);
    indexbuffer(const indexbuffer&) = delete;
    indexbuffer& operator=(const indexbuffer&) = delete;

    std::uint16_t* indexArray(int b);
    std::uint16_t* indexAt(int i);
    void setVertices(vertexbuffer* pool);
    void upload();
    // One indexed draw per piece, all against the pool's first hardware buffer.
    void draw();
    // Points each index at the vertex of the first earlier index whose position
    // lies within threshold (sum of absolute differences), when both indices are
    // in the same piece, and marks the vertex it replaced; then uploads.
    void weld(float threshold, bool useRest);

    device* owner;
    std::vector<std::uint16_t> indexArrays[dx::kMaxIndexPieces];
    std::int32_t indexCount;
    std::uint16_t chunkIndexCount[dx::kMaxIndexPieces];
    IDirect3DIndexBuffer9* buffers[dx::kMaxIndexPieces];
    vertexbuffer* vertices;
    std::int32_t bufferCount;
};
