// The field's fast loops against their plain versions: the same bits in both
// grids after the tube set, the blurs and the border clear, and the same
// triangle records, over several grid sizes (lanes left over at the row's
// end or none), times and fields.
#include "dx/dxdevice.h"
#include "geometry/metamecklo.h"
#include "platform/crt/random.h"
#include "tests/dx/fakedevice.h"
#include "tests/geometry/surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

class FastPathTest : public geometry::test::MetaballTest {
  protected:
    // Two objects with the same tube constants drawn from `seed`.
    void makePair(int n, unsigned seed) {
        fast = make(n, false);
        plain = make(n, false);
        platform::crt::srand(seed);
        fast->initTubeSet();
        platform::crt::srand(seed);
        plain->initTubeSet();
    }
    std::unique_ptr<metamecklo> fast;
    std::unique_ptr<metamecklo> plain;
};

bool sameBits(const FieldGrid& a, const FieldGrid& b) {
    return a.storage.size() == b.storage.size() &&
           std::memcmp(a.storage.data(), b.storage.data(), a.storage.size() * sizeof(float)) == 0;
}

void expectSameGrids(const metamecklo& a, const metamecklo& b, const char* step) {
    EXPECT_EQ(a.currentIsA, b.currentIsA) << step;
    EXPECT_TRUE(sameBits(a.gridA, b.gridA)) << step << ": gridA differs";
    EXPECT_TRUE(sameBits(a.gridB, b.gridB)) << step << ": gridB differs";
}

// Both scans over one grid, with room for `room` records; returns how many
// the plain scan wrote.
int expectSameRecords(const FieldGrid& grid, std::size_t room, float scale) {
    std::vector<TriangleRecord> a(room);
    std::vector<TriangleRecord> b(room);
    const int na = polygonise(grid, a, scale);
    const int nb = geometry::polygonisePlain(grid, b, scale);
    EXPECT_EQ(na, nb);
    const auto same = static_cast<std::size_t>(std::min(na, nb));
    // With no room the vectors have no storage at all, and memcmp may not be given null.
    if (same > 0) {
        EXPECT_EQ(std::memcmp(a.data(), b.data(), same * sizeof(TriangleRecord)), 0);
    }
    return nb;
}

// More than any field here makes.
constexpr std::size_t kRoom = 20000;

struct TubeCase {
    int n;
    unsigned seed;
    float t;
};

// 40 is the scene's grid (38 interior cells: two left over per row), 37 and
// 13 leave one and three, 6 fills a single group of four lanes, 4 none.
const TubeCase kTubeCases[] = {{40, 1, 5.0f}, {40, 1, 6.3f}, {40, 7, 17.25f}, {37, 3, 5.5f},
                               {13, 1, 2.0f}, {6, 5, 9.0f},  {4, 2, 1.0f}};

TEST_F(FastPathTest, TubeFramesGiveTheSameFieldsAndRecordsAsThePlainLoops) {
    for (const TubeCase& c : kTubeCases) {
        SCOPED_TRACE(testing::Message() << "n " << c.n << " seed " << c.seed << " t " << c.t);
        makePair(c.n, c.seed);
        fast->setIsoLevel(0.5f);
        // A frame, then a second one at a later time and other offsets onto
        // the first one's field, so that the tubes add onto nonzero cells.
        fast->addTubeSet(c.t, 0.0f, 0.1f, 1.0f, 1.0f);
        plain->addTubeSetPlain(c.t, 0.0f, 0.1f, 1.0f, 1.0f);
        expectSameGrids(*fast, *plain, "first tube set");
        fast->addTubeSet(c.t + 0.4f, 0.05f, -0.1f, 0.7f, 1.3f);
        plain->addTubeSetPlain(c.t + 0.4f, 0.05f, -0.1f, 0.7f, 1.3f);
        expectSameGrids(*fast, *plain, "second tube set");
        // The tubes make a surface: the records compared are not empty.
        EXPECT_GT(expectSameRecords(fast->currentGrid(), kRoom, 0.125f), c.n >= 13 ? 0 : -1);
        for (int pass = 0; pass < 3; ++pass) {
            fast->blurField();
            plain->blurFieldPlain();
            expectSameGrids(*fast, *plain, "blur");
            expectSameRecords(fast->currentGrid(), kRoom, 0.125f);
        }
        fast->clearBorders();
        plain->clearBorders();
        fast->blurField();
        plain->blurFieldPlain();
        expectSameGrids(*fast, *plain, "blur after clearBorders");
        expectSameRecords(fast->currentGrid(), kRoom, 5.0f / static_cast<float>(c.n));
    }
}

TEST_F(FastPathTest, ATubeSetWithoutStrengthOnlyCarvesInBothVersions) {
    makePair(40, 1);
    platform::crt::srand(11);
    for (std::size_t i = 0; i < fast->gridB.cellCount(); ++i) {
        fast->gridB.values[i] = static_cast<float>(platform::crt::rand() & 0xFF) / 64.0f;
        plain->gridB.values[i] = fast->gridB.values[i];
    }
    fast->addTubeSet(5.0f, 0.0f, 0.1f, 1.0f, 0.0f);
    plain->addTubeSetPlain(5.0f, 0.0f, 0.1f, 1.0f, 0.0f);
    expectSameGrids(*fast, *plain, "carve only");
}

// Fields the tubes never make: cells exactly at the iso level, negative
// zeros and negative values, steps of one cell, and surfaces cut at the room.
TEST_F(FastPathTest, RoughFieldsGiveTheSameRecordsAndBlurs) {
    const float levels[] = {-1.0f, -0.0f, 0.0f, 0.5f, 0.25f, 1.0f, 3.0f};
    for (const int n : {40, 23, 5}) {
        SCOPED_TRACE(testing::Message() << "n " << n);
        makePair(n, 1);
        fast->setIsoLevel(0.5f);
        platform::crt::srand(static_cast<unsigned>(n));
        FieldGrid& a = fast->gridB;
        FieldGrid& b = plain->gridB;
        for (std::size_t i = 0; i < a.cellCount(); ++i) {
            // Mostly empty, as a frame's field is, with scattered islands.
            const int r = platform::crt::rand();
            const float v = (r & 7) == 0 ? levels[(r >> 3) % 7] : 0.0f;
            a.values[i] = v;
            b.values[i] = v;
        }
        EXPECT_GT(expectSameRecords(a, kRoom, 0.125f), 7);
        EXPECT_EQ(expectSameRecords(a, 7, 0.125f), 7);
        expectSameRecords(a, 0, 0.125f);
        fast->blurField();
        plain->blurFieldPlain();
        expectSameGrids(*fast, *plain, "blur of a rough field");
        expectSameRecords(fast->currentGrid(), kRoom, 0.125f);
        fast->setIsoLevel(-0.0f);
        expectSameRecords(fast->currentGrid(), kRoom, 0.125f);
        fast->setIsoLevel(0.5f);
    }
}

} // namespace
