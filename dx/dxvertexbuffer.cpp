#include "dx/dxvertexbuffer.h"

#include "debuglog/log.h"
#include "dx/dxdevice.h"
#include "errors/errors.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr const char* kFile = "dxvertexbuffer";

// Where a pool needing more than kMaxPoolBuffers hardware buffers is refused.
constexpr int kTooManyBuffersLine = 103;

template <typename Array> void resizeOrRaise(Array& block, std::size_t size, int line) {
    try {
        block.resize(size);
    } catch (const std::bad_alloc&) {
        errors::raiseError(errors::kAutoThrowLogic, kFile, line);
    }
}

} // namespace

vertexbuffer::vertexbuffer(device* ownerDevice, int count, bool isDynamic, int sets, bool hasColor, bool createNow)
    : owner(ownerDevice), byteSize(0), stride(0), elementCount(0), elementIndex(0), elementOffset(0),
      declaration(nullptr), vertexCount(count), positionOffset(0), normalOffset(0), texCoordOffset(0), colorOffset(0),
      texCoordSets(static_cast<std::uint32_t>(std::max(sets, 0))), dynamic(isDynamic),
      bufferCount(0), chunkVertexCount{}, buffers{}, vertexShader(nullptr),
      pixelShader(nullptr), spare{}, boxMin{}, boxMax{} {
    identity(objectMatrix);
    identity(objectMatrix2);
    logPrintf("vb creating .. 1");
    stride = (hasColor ? 4u : 0u) + (3u * texCoordSets + 6u) * 4u;
    const std::size_t vertexTotal = static_cast<std::size_t>(std::max(vertexCount, 0));
    byteSize = static_cast<std::uint32_t>(vertexTotal * stride);
    elementCount = 3u + texCoordSets + (hasColor ? 1u : 0u);
    logPrintf("vb creating .. 2");

    resizeOrRaise(vertices, byteSize, 41);
    resizeOrRaise(restVertices, byteSize, 42);
    logPrintf("total bytesize = %d", static_cast<int>(byteSize));

    logPrintf("vb creating .. 3");
    elements.assign(elementCount, D3DVERTEXELEMENT9{});
    appendElement(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0, 12);
    appendElement(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0, 12);
    if (hasColor) {
        appendElement(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0, 4);
    }
    // Each further set follows the one before it with its own usage index, as
    // the stride lays them out.
    for (std::uint32_t set = 0; set < texCoordSets; ++set) {
        appendElement(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(set), 12);
    }
    elements[elementIndex] = D3DVERTEXELEMENT9 D3DDECL_END();
    owner->d3dDevice->CreateVertexDeclaration(elements.data(), &declaration);

    logPrintf("vb creating .. 2");
    positionOffset = 0;
    normalOffset = 12;
    colorOffset = 24;
    texCoordOffset = hasColor ? 28 : 24;
    logPrintf("vb creating .. 3");

    vertexFlags.assign(vertexTotal, 0);
    logPrintf("vb creating .. 4");

    if (createNow) {
        createBuffers();
    }
    logPrintf("vb creating .. 5");
}

vertexbuffer::~vertexbuffer() {
    releaseBuffers();
    if (declaration != nullptr) {
        declaration->Release();
    }
}

void vertexbuffer::appendElement(BYTE type, BYTE usage, BYTE usageIndex, std::uint32_t size) {
    elements[elementIndex] =
        D3DVERTEXELEMENT9{0, static_cast<WORD>(elementOffset), type, D3DDECLMETHOD_DEFAULT, usage, usageIndex};
    ++elementIndex;
    elementOffset += size;
}

void vertexbuffer::releaseBuffers() {
    for (int b = 0; b < bufferCount; ++b) {
        if (buffers[b] != nullptr) {
            buffers[b]->Release();
            buffers[b] = nullptr;
        }
    }
    bufferCount = 0;
}

void vertexbuffer::createBuffers() {
    const DWORD usage = dynamic ? (D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY) : D3DUSAGE_WRITEONLY;
    if (vertexCount <= dx::kMaxChunkVertices) {
        if (vertexCount < 1) {
            return;
        }
        bufferCount = 1;
        chunkVertexCount[0] = vertexCount;
        errors::checkD3d(
            owner->d3dDevice->CreateVertexBuffer(byteSize, usage, 0, D3DPOOL_DEFAULT, &buffers[0], nullptr), kFile,
            126);
        return;
    }
    const int needed = (vertexCount + dx::kMaxChunkVertices - 1) / dx::kMaxChunkVertices;
    // The chunk tables hold kMaxPoolBuffers entries; a larger pool would run past them.
    if (needed > dx::kMaxPoolBuffers) {
        errors::raiseError(errors::kAutoThrowLogic, kFile, kTooManyBuffersLine);
    }
    bufferCount = needed;
    for (int b = 0; b < bufferCount - 1; ++b) {
        chunkVertexCount[b] = dx::kMaxChunkVertices;
        errors::checkD3d(owner->d3dDevice->CreateVertexBuffer(dx::kMaxChunkVertices * stride, usage, 0, D3DPOOL_DEFAULT,
                                                              &buffers[b], nullptr),
                         kFile, 107);
    }
    logPrintf("nr vertexbuffers = %d", bufferCount);
    const int leftover = vertexCount - (bufferCount - 1) * dx::kMaxChunkVertices;
    errors::checkD3d(owner->d3dDevice->CreateVertexBuffer(static_cast<UINT>(leftover) * stride, usage, 0,
                                                          D3DPOOL_DEFAULT, &buffers[bufferCount - 1], nullptr),
                     kFile, 115);
    logPrintf("leftovers = %d", leftover);
    chunkVertexCount[bufferCount - 1] = leftover;
}

void vertexbuffer::upload(int) {
    byteSize = static_cast<std::uint32_t>(static_cast<std::size_t>(std::max(vertexCount, 0)) * stride);
    if (buffers[0] == nullptr) {
        return;
    }
    const DWORD flags = dynamic ? D3DLOCK_NOOVERWRITE : 0;
    for (int b = 0; b < bufferCount; ++b) {
        void* target = nullptr;
        errors::checkD3d(buffers[b]->Lock(0, 0, &target, flags), kFile, 232);
        std::memcpy(target, vertices.data() + static_cast<std::size_t>(b) * dx::kMaxChunkVertices * stride,
                    static_cast<std::size_t>(chunkVertexCount[b]) * stride);
        errors::checkD3d(buffers[b]->Unlock(), kFile, 238);
    }
}

void vertexbuffer::uploadVertices(int first, int count) {
    if (buffers[0] == nullptr) {
        return;
    }
    const DWORD flags = dynamic ? D3DLOCK_NOOVERWRITE : 0;
    const int end = std::min(first + count, vertexCount);
    for (int b = 0; b < bufferCount; ++b) {
        const int chunkFirst = b * dx::kMaxChunkVertices;
        const int from = std::max(first, chunkFirst);
        const int to = std::min(end, chunkFirst + chunkVertexCount[b]);
        if (from >= to) {
            continue;
        }
        void* target = nullptr;
        const UINT offset = static_cast<UINT>(from - chunkFirst) * stride;
        const UINT size = static_cast<UINT>(to - from) * stride;
        errors::checkD3d(buffers[b]->Lock(offset, size, &target, flags), kFile, 232);
        std::memcpy(target, vertices.data() + static_cast<std::size_t>(from) * stride, size);
        errors::checkD3d(buffers[b]->Unlock(), kFile, 238);
    }
}

void vertexbuffer::setVertexCount(int count) {
    logPrintf("SET NR VERTICES =  %d", count);
    vertexCount = count;
    const std::size_t total = static_cast<std::size_t>(std::max(count, 0));
    resizeOrRaise(vertices, total * stride, 41);
    resizeOrRaise(restVertices, total * stride, 42);
    vertexFlags.assign(total, 0);
    byteSize = static_cast<std::uint32_t>(total * stride);
    if (buffers[0] != nullptr) {
        releaseBuffers();
        createBuffers();
    }
}

float* vertexbuffer::position(int i, bool rest) {
    std::uint8_t* base = rest ? restVertices.data() : vertices.data();
    return reinterpret_cast<float*>(base + static_cast<std::size_t>(i) * stride + positionOffset);
}

float* vertexbuffer::normal(int i, bool rest) {
    std::uint8_t* base = rest ? restVertices.data() : vertices.data();
    return reinterpret_cast<float*>(base + static_cast<std::size_t>(i) * stride + normalOffset);
}

float* vertexbuffer::texCoord(int byteOffset, int i, bool rest) {
    std::uint8_t* base = rest ? restVertices.data() : vertices.data();
    return reinterpret_cast<float*>(base + static_cast<std::size_t>(i) * stride + texCoordOffset +
                                    static_cast<std::size_t>(byteOffset));
}

void vertexbuffer::resetToRest() {
    std::memcpy(vertices.data(), restVertices.data(), byteSize);
}

void vertexbuffer::markVertex(int i) {
    vertexFlags[static_cast<std::size_t>(i)] = 1;
}

void vertexbuffer::computeBounds() {
    // Without vertices there is no first position to start from: the box stays as it was.
    if (vertexCount < 1) {
        return;
    }
    const float* first = position(0, false);
    std::copy(first, first + 3, boxMin);
    std::copy(first, first + 3, boxMax);
    for (int i = 0; i < vertexCount; ++i) {
        const float* p = position(i, false);
        for (int c = 0; c < 3; ++c) {
            boxMin[c] = std::min(boxMin[c], p[c]);
            boxMax[c] = std::max(boxMax[c], p[c]);
        }
    }
}

void vertexbuffer::bindBuffer(int b) {
    errors::checkD3d(owner->d3dDevice->SetVertexDeclaration(declaration), kFile, 251);
    errors::checkD3d(owner->d3dDevice->SetStreamSource(0, buffers[b], 0, stride), kFile, 252);
    applyVertexShader();
    applyPixelShader();
}

void vertexbuffer::applyVertexShader() {
    errors::checkD3d(owner->d3dDevice->SetVertexShader(vertexShader), kFile, 247);
}

void vertexbuffer::applyPixelShader() {
    errors::checkD3d(owner->d3dDevice->SetPixelShader(pixelShader), kFile, 243);
}

void vertexbuffer::drawPoints() {
    if (buffers[0] == nullptr) {
        return;
    }
    applyVertexShader();
    applyPixelShader();
    bindBuffer(0);
    errors::checkD3d(owner->d3dDevice->DrawPrimitive(D3DPT_POINTLIST, 0, static_cast<UINT>(chunkVertexCount[0])), kFile,
                     262);
}

void vertexbuffer::drawTriangles(int count) {
    if (count == -1) {
        count = vertexCount / 3;
    }
    // Without hardware buffers there is nothing to bind.
    if (buffers[0] == nullptr || count <= 0) {
        return;
    }
    if (bufferCount == 1) {
        bindBuffer(0);
        errors::checkD3d(owner->d3dDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(count)), kFile, 289);
        return;
    }
    int drawn = 0;
    for (int b = 0; b < bufferCount; ++b) {
        const int m = std::min(count - drawn, chunkVertexCount[b] / 3);
        // A draw of no primitives is refused by the platform; there is nothing left to draw.
        if (m <= 0) {
            break;
        }
        bindBuffer(b);
        errors::checkD3d(owner->d3dDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(m)), kFile, 282);
        drawn += m;
    }
}
