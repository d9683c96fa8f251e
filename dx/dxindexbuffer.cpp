#include "dx/dxindexbuffer.h"

#include "debuglog/log.h"
#include "dx/dxdevice.h"
#include "dx/dxvertexbuffer.h"
#include "errors/errors.h"

#include <cmath>
#include <cstring>

namespace {

constexpr const char* kFile = "dxindexbuffer";

// Where a list needing more than kMaxIndexPieces pieces is refused.
constexpr int kTooManyPiecesLine = 12;

} // namespace

indexbuffer::indexbuffer(device* ownerDevice, int count)
    : owner(ownerDevice), indexCount(count), chunkIndexCount{}, buffers{}, vertices(nullptr), bufferCount(1) {
    // A negative count asks for no indices at all.
    const long long wanted = count < 0 ? 0 : count;
    if (wanted <= dx::kMaxChunkIndices) {
        chunkIndexCount[0] = static_cast<std::uint16_t>(wanted);
        indexArrays[0].resize(static_cast<std::size_t>(wanted));
    } else {
        const long long pieces = (wanted + dx::kMaxChunkIndices - 1) / dx::kMaxChunkIndices;
        // The piece tables hold kMaxIndexPieces entries; a longer list would run past them.
        if (pieces > dx::kMaxIndexPieces) {
            errors::raiseError(errors::kAutoThrowLogic, kFile, kTooManyPiecesLine);
        }
        bufferCount = static_cast<std::int32_t>(pieces);
        for (int b = 0; b < bufferCount - 1; ++b) {
            chunkIndexCount[b] = dx::kMaxChunkIndices;
            indexArrays[b].resize(dx::kMaxChunkIndices);
        }
        logPrintf("nr indexbuffers = %d", bufferCount);
        const int leftover = static_cast<int>(wanted) - (bufferCount - 1) * dx::kMaxChunkIndices;
        logPrintf("leftovers = %d", leftover);
        chunkIndexCount[bufferCount - 1] = static_cast<std::uint16_t>(leftover);
        indexArrays[bufferCount - 1].resize(static_cast<std::size_t>(leftover));
    }

    logPrintf("creating %d indexbuffers", bufferCount);
    for (int b = 0; b < bufferCount; ++b) {
        logPrintf("creating indexbuffer %d, nr indexes for this = %d", b, chunkIndexCount[b]);
        errors::checkD3d(owner->d3dDevice->CreateIndexBuffer(chunkIndexCount[b] * 2u, D3DUSAGE_WRITEONLY,
                                                             D3DFMT_INDEX16, D3DPOOL_DEFAULT, &buffers[b], nullptr),
                         kFile, 87);
    }
    logPrintf("indexbuffers created");
    upload();
}

std::uint16_t* indexbuffer::indexArray(int b) {
    return indexArrays[b].data();
}

std::uint16_t* indexbuffer::indexAt(int i) {
    return &indexArrays[i / dx::kMaxChunkIndices][static_cast<std::size_t>(i % dx::kMaxChunkIndices)];
}

void indexbuffer::setVertices(vertexbuffer* pool) {
    vertices = pool;
}

void indexbuffer::upload() {
    if (buffers[0] == nullptr) {
        return;
    }
    for (int b = 0; b < bufferCount; ++b) {
        void* target = nullptr;
        errors::checkD3d(buffers[b]->Lock(0, 0, &target, 0), kFile, 160);
        if (chunkIndexCount[b] > 0) { // an empty piece may lock to no memory at all
            std::memcpy(target, indexArrays[b].data(), chunkIndexCount[b] * sizeof(std::uint16_t));
        }
        buffers[b]->Unlock();
    }
}

void indexbuffer::draw() {
    vertices->bindBuffer(0);
    for (int b = 0; b < bufferCount; ++b) {
        errors::checkD3d(owner->d3dDevice->SetIndices(buffers[b]), kFile, 171);
        errors::checkD3d(owner->d3dDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0,
                                                                static_cast<UINT>(vertices->vertexCount), 0,
                                                                chunkIndexCount[b] / 3u),
                         kFile, 181);
    }
}

void indexbuffer::weld(float threshold, bool useRest) {
    logPrintf("nr vertices = %d", vertices->vertexCount);
    for (int i = 0; i < indexCount; ++i) {
        std::uint16_t& a = *indexAt(i);
        const float* pa = vertices->position(a, useRest);
        for (int j = i + 1; j < indexCount; ++j) {
            std::uint16_t& b = *indexAt(j);
            const float* pb = vertices->position(b, useRest);
            const float d = std::fabs(pa[0] - pb[0]) + std::fabs(pa[1] - pb[1]) + std::fabs(pa[2] - pb[2]);
            if (d <= threshold) {
                if (i / dx::kMaxChunkIndices == j / dx::kMaxChunkIndices) {
                    vertices->markVertex(b);
                    b = a;
                }
                break;
            }
        }
    }
    upload();
}
